// The File Mode window's control and menu ids.
#pragma once

namespace vorlanx::file_ids {

inline constexpr int kInterfaceAddress = 1054;
inline constexpr int kStart = 1056;
inline constexpr int kStop = 1057;
inline constexpr int kDirectory = 1058;
inline constexpr int kOverwrite = 1059;
inline constexpr int kStatus = 1060;
inline constexpr int kFilesPending = 1061;
inline constexpr int kFilesWritten = 1062;
inline constexpr int kAckTimeout = 1063;
inline constexpr int kHttpOnly = 1064;
inline constexpr int kLogo = 1065;
inline constexpr int kFilesProcessed = 1066;
inline constexpr int kSourceIp = 1074;
inline constexpr int kSourceIpNot = 1075;
inline constexpr int kDestinationIp = 1076;
inline constexpr int kDestinationIpNot = 1077;
inline constexpr int kSourcePort = 1078;
inline constexpr int kSourcePortNot = 1079;
inline constexpr int kDestinationPort = 1080;
inline constexpr int kDestinationPortNot = 1081;
inline constexpr int kMinFileSize = 1082;
inline constexpr int kMaxFileSize = 1083;
inline constexpr int kResolverHost = 1085;
inline constexpr int kResolve = 1086;
inline constexpr int kPartialContent = 1133;
inline constexpr int kTrackedMemory = 1136;
inline constexpr int kCurrentRate = 1137;
inline constexpr int kAverageRate = 1138;
inline constexpr int kPeakRate = 1139;
inline constexpr int kDirtyMode = 1140;
inline constexpr int kBufferUsage = 1141;
inline constexpr int kActivity = 1142;

// The window's timers, by the ids they are known by.
enum class FileModeTimer { Counters = 100, Rates = 200, StreamClock = 300, BufferUsage = 400 };

}  // namespace vorlanx::file_ids
