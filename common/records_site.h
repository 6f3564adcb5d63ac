#pragma once
// The records site's two addresses, as the game asks for them and the
// records server answers them.

inline constexpr const char* PublishPath = "/datas/html/add.php";
inline constexpr const char* ResultsPath = "/view.php";
inline constexpr const char* ResultsQuery = "v=results";
// The name the game enters for the autopilot's results.
inline constexpr const char* AutopilotName = "AUTOPILOT";
// Where the game sends the replays of what it published (our own server).
inline constexpr const char* ReplayPath = "/datas/html/replay.php";
