#pragma once
// The texts of the game's message boxes in both languages: the five
// questions before erasing the records and the message after them, and the
// answers to a publish. A "\r\n" ends a line, as the boxes show it.

#include "captions.h"

struct MessageText {
    const char* Caption;   // UTF-8
    const char* Text;      // UTF-8
};

inline constexpr int EraseQuestions = 5;
// 0..4: the questions; 5: the message once all five were answered Yes.
MessageText EraseMessage(Language language, int step);
MessageText PublishedMessage(Language language);
MessageText NotPublishedMessage(Language language);

// Why a replay could not be watched; the text has "%1" for the file.
enum class ReplayProblem { Unreadable, NotAReplay, OtherVersion, Damaged, Unplayable };
const char* ReplayProblemText(Language language, ReplayProblem problem);
