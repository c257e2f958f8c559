// The Filter Setup window's control ids.
#pragma once

namespace vorlanx::filter_ids {

inline constexpr int kOk = 1;
inline constexpr int kResolverHost = 1085;
inline constexpr int kResolve = 1089;
inline constexpr int kReverseResolve = 1124;
inline constexpr int kCopyToFilters = 1123;

// The five address filters: entry, Add IP, Remove IP, list.
struct IpFilterIds {
    int entry, add, remove, list;
};
inline constexpr IpFilterIds kSrcIp{1074, 1095, 1096, 1094};
inline constexpr IpFilterIds kSrcIpNot{1075, 1098, 1099, 1097};
inline constexpr IpFilterIds kDstIp{1076, 1101, 1102, 1100};
inline constexpr IpFilterIds kDstIpNot{1077, 1104, 1105, 1103};
inline constexpr IpFilterIds kEitherIp{1106, 1107, 1108, 1109};

inline constexpr int kSrcPort = 1078;
inline constexpr int kSrcPortNot = 1079;
inline constexpr int kDstPort = 1080;
inline constexpr int kDstPortNot = 1081;
inline constexpr int kEitherPort = 1110;
inline constexpr int kMinPacketSize = 1082;
inline constexpr int kMaxPacketSize = 1083;
inline constexpr int kMustContain[3] = {1084, 1111, 1112};
inline constexpr int kMustNotContain[3] = {1086, 1113, 1114};
inline constexpr int kAllowTcp = 1090;
inline constexpr int kAllowUdp = 1091;
inline constexpr int kAllowIcmp = 1092;
inline constexpr int kAllowOther = 1093;
inline constexpr int kApply = 1087;
inline constexpr int kCancel = 1088;

}  // namespace vorlanx::filter_ids
