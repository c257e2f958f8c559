// The Help window's topics: each button's text, the group it is listed under and the
// answer it shows, in the order the window lists them. Shared by both modes.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace vorlanx {

enum class HelpTopicGroup { PacketMode, FileMode };

struct HelpTopic {
    std::string_view button;  // the topic button's text
    HelpTopicGroup group;
    std::string_view answer;  // lines broken by CR LF; begins with a line break
};

inline constexpr std::size_t kHelpTopicCount = 9;

// All topics in their listed order: the Packet Mode group, then the File Mode group. The
// first, "Intro to Packet Mode", is the one Help opens on. The texts are static.
std::span<const HelpTopic, kHelpTopicCount> HelpTopics();

}  // namespace vorlanx
