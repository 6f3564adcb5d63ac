#pragma once
// The records site's two addresses, as the game asks for them and the
// records server answers them.

inline constexpr const char* PublishPath = "/datas/html/add.php";
inline constexpr const char* ResultsPath = "/view.php";
inline constexpr const char* ResultsQuery = "v=results";
