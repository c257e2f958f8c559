#include "setup/about_text.h"

namespace vorlanx {

const char* const kAboutBlurb =
    "    In a world of spyware and ads, Brindlecraft VORLANX cuts through with the best. If "
    "you like this program, show your support by spreading good word about it.\r\n\r\n    If "
    "you were unable to find the answer to one or more of your questions in the help of this "
    "program and on the website, you may send an e-mail message using the address below.";

namespace {

struct VersionBlock {
    const char* heading;
    std::vector<const char*> changes;
};

// Oldest first, as the rows are laid down.
const std::vector<VersionBlock>& History() {
    static const std::vector<VersionBlock> blocks = {
        {"Changes in V1.1:",
         {"  Better looking interface.", "  Now has a flash screen.",
          "  Much better looking & more informative list.", "  Better packet type telling.",
          "  Common uses of ports from huge list.", "  PC-Speaker sound on/off option.",
          "  Some optimizations and bug fixes."}},
        {"Changes in V1.2:",
         {"  Menu system.", "  Name of program has changed.", "  About dialog.", "  Help dialog.",
          "  Option to view packet in Dec, Hex, or Text.",
          "  Ability to save list of packets to a file."}},
        {"Changes in V1.3:",
         {"  Shows TCP specific information.", "  Find string in current packets option.",
          "  Packet filters allow controlled packet reception.",
          "  Now receives all IP packet types.", "  Interface choice.", "  A few bugs fixed."}},
        {"Changes in V1.4:",
         {"  Window settings saved on exit & restored on startup.", "  File Mode.",
          "  Packet Filters dialog for Packet Mode.",
          "  Button to check for newer version in About.",
          "  Integrated self contained installation program."}},
        {"Changes in V1.4.1 (unreleased):",
         {"  IP filters are now done by lists.", "  Program now has an un-installer."}},
        {"Changes in V1.4.2 (unreleased):",
         {"  Packet ordering issue fixed.", "  Time (packets and files) now shows milliseconds."}},
        {"Changes in V1.4.2.1:", {"  ?."}},
        {"Changes in V1.4.2.2:", {"  Packets saved to text file now contain Time/Date."}},
        {"Changes in V1.4.2.3 (unreleased):", {"  Internal receive buffer size increased."}},
        {"Changes in V1.5:",
         {"  Ability to set program to use Windows colors.",
          "  Packet Mode window is now resizable.", "  Packet list - auto follow new packets.",
          "  Fixed-width font for packet data fields.",
          "  Packet list now has right-click / context-button menu.", "  Some bugs fixed.",
          "  Minor optimizations.", "  Packet list can now be sorted by clicking on columns.",
          "  Packet list menu now has TCP specific options.",
          "  New \"General Settings\" under \"Settings\" menu.",
          "  New automatic packet logging feature.", "  Better packet filtering for Packet Mode.",
          "  Ability to set the sound to play for new packets.",
          "  Various other changes and improvements."}},
        {"Changes in V1.5.1:",
         {"  Some bugs fixed for both modes.",
          "  Option to not allow Partial Content for File Mode.", "  Two new TCP Specific options.",
          "  Option to only save listed packets for Packet Mode."}},
        {"Changes in V1.5.2:",
         {"  Multiple bugs fixed including File Mode crash.",
          "  File Mode - massive & minor memory leaks fixed.",
          "  File Mode now shows dynamic memory allocations.",
          "  File Mode now capable of 100,000 simultaneous files.",
          "  File Mode now supports many more mime-types.",
          "  New ability to switch between File and Packet modes.",
          "  File Mode - more statistical information.",
          "  File Mode - major & minor optimizations.",
          "  File Mode - new Dirty Mode for higher performance.",
          "  File Mode - current receive buffer usage now shown."}},
    };
    return blocks;
}

bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

}  // namespace

const std::vector<std::string>& VersionHistoryRows() {
    static const std::vector<std::string> rows = [] {
        std::vector<std::string> out = {"Version Change History:", ""};
        const auto& blocks = History();
        for (auto block = blocks.rbegin(); block != blocks.rend(); ++block) {
            out.emplace_back(block->heading);
            out.emplace_back();
            out.insert(out.end(), block->changes.begin(), block->changes.end());
            out.emplace_back();
        }
        return out;
    }();
    return rows;
}

const std::vector<std::string>& AgreementParagraphs() {
    static const std::vector<std::string> paragraphs = {
        "Please read this agreement carefully. By choosing \"I Understand and Agree\" you "
        "accept all of its terms. If you do not accept them, choose \"I do NOT Understand\"; "
        "the program then ends without installing anything.",
        "1. Licence. Brindlecraft grants you a free, non-exclusive licence to install and use "
        "Brindlecraft VORLANX on any number of computers, and to give unchanged copies of it "
        "to others free of charge.",
        "2. Lawful use. Brindlecraft VORLANX shows and keeps the network traffic of the "
        "computer it runs on, which may include other people's messages, passwords and files. "
        "You may use it only on computers and networks you own or are allowed to examine, "
        "and only as the laws that apply to you permit. You alone are responsible for what "
        "you capture, keep and share with it.",
        "3. Privacy. The program never sends anything on the network while it captures. It "
        "connects to Brindlecraft only when you press the button that checks for a newer "
        "version, and then sends only the name of the version file it asks for.",
        "4. No warranty. The program is provided \"as is\", without warranty of any kind, "
        "express or implied, including fitness for a particular purpose. Captured data may "
        "be incomplete, and rebuilt files may differ from the originals.",
        "5. Limitation of liability. In no event is Brindlecraft liable for any damages, "
        "including lost data, lost profits or interrupted business, arising from the use of "
        "the program or from being unable to use it, even if told of their possibility.",
        "6. Termination. This licence ends if you break its terms. You may end it at any time "
        "by removing the program with its uninstaller.",
        "7. Entire agreement. This is the whole agreement between you and Brindlecraft about "
        "the program. If any part of it cannot be enforced, the rest stays in force.",
    };
    return paragraphs;
}

std::vector<std::string> WrapParagraph(std::string_view paragraph,
                                       const std::function<bool(std::string_view)>& fits) {
    std::vector<std::string> lines;
    std::string line;
    auto flush = [&] {
        lines.push_back(std::move(line));
        line.clear();
    };
    size_t at = 0;
    while (at < paragraph.size()) {
        while (at < paragraph.size() && paragraph[at] == ' ')
            ++at;
        if (at == paragraph.size())
            break;
        size_t end = paragraph.find(' ', at);
        if (end == std::string_view::npos)
            end = paragraph.size();
        std::string_view word = paragraph.substr(at, end - at);
        at = end;
        const std::string joined =
            line.empty() ? std::string(word) : line + " " + std::string(word);
        if (fits(joined)) {
            line = joined;
            continue;
        }
        if (!line.empty())
            flush();
        // A word wider than a whole line: as many characters as fit on each line, at
        // least one character each.
        while (!fits(word)) {
            size_t cut = 0;
            for (size_t next = 1; next <= word.size(); ++next) {
                if (next < word.size() && IsContinuationByte(word[next]))
                    continue;
                if (!fits(word.substr(0, next)))
                    break;
                cut = next;
            }
            if (cut == 0) {
                cut = 1;
                while (cut < word.size() && IsContinuationByte(word[cut]))
                    ++cut;
            }
            lines.emplace_back(word.substr(0, cut));
            word.remove_prefix(cut);
            if (word.empty())
                break;
        }
        line = std::string(word);
    }
    if (!line.empty() || lines.empty())
        flush();
    return lines;
}

std::vector<std::string> AgreementRows(const std::vector<std::string>& paragraphs,
                                       const std::function<bool(std::string_view)>& fits) {
    std::vector<std::string> rows = {"", kAgreementStartMarker};
    for (const std::string& paragraph : paragraphs) {
        rows.emplace_back();
        for (std::string& line : WrapParagraph(paragraph, fits))
            rows.push_back(std::move(line));
    }
    rows.insert(rows.end(), {"", kAgreementEndMarker, ""});
    return rows;
}

}  // namespace vorlanx
