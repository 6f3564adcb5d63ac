#pragma once
// What the session shows, as the JSON text the page draws from.

#include <string>

class GameSession;

std::string ViewJson(const GameSession& session);
