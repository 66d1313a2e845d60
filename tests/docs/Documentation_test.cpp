// The administrators' page states three tables the code also states: the exit
// codes (cause and fix), the usage's synopsis, and the fields of status
// --json. Each has its home in the code; the page's copy must be the same.
#include "cli/Arguments.h"
#include "cli/StatusReport.h"
#include "setup/ExitCodeTable.h"
#include "setup/Status.h"
#include "setup/Text.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> PageLines() {
    std::ifstream page(std::string(PORTSETUP_SOURCE_DIR) + "/docs/administrators.md");
    std::vector<std::string> lines;
    for (std::string line; std::getline(page, line);) lines.push_back(line);
    return lines;
}

// The lines after `header` up to the first that does not start with `prefix`.
std::vector<std::string> Block(const std::vector<std::string>& lines, const std::string& header,
                               const std::string& prefix, std::size_t skip = 0) {
    std::vector<std::string> block;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] != header) continue;
        for (std::size_t j = i + 1 + skip; j < lines.size() && lines[j].rfind(prefix, 0) == 0; ++j)
            block.push_back(lines[j]);
        break;
    }
    return block;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text += line + "\n";
    return text;
}

TEST(Documentation, TheExitCodeTableIsTheCodes) {
    std::vector<std::string> expected;
    for (const setup::ExitCodeRow& row : setup::ExitCodeTable())
        expected.push_back("| " + std::to_string(row.code) + " | " + setup::Utf8(row.cause) + " | " +
                           setup::Utf8(row.fix) + (row.fix.empty() ? "|" : " |"));
    const auto seen = Block(PageLines(), "| code | cause | what to do |", "| ", 1);
    EXPECT_EQ(Joined(expected), Joined(seen)) << "docs/administrators.md's exit-code table, as the code states it";
}

TEST(Documentation, TheSynopsisIsTheUsage) {
    std::vector<std::string> expected;
    std::istringstream usage(setup::Utf8(cli::UsageText()));
    bool in = false;
    for (std::string line; std::getline(usage, line);) {
        if (line.rfind("  PortSetupCli ", 0) == 0) in = true;
        if (in && line.empty()) break;
        if (in) expected.push_back("  " + line);
    }
    ASSERT_GT(expected.size(), 5u);
    const auto lines = PageLines();
    std::vector<std::string> seen;
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i].rfind("    PortSetupCli install ", 0) == 0) {
            for (std::size_t j = i; j < lines.size() && lines[j].rfind("    ", 0) == 0; ++j) seen.push_back(lines[j]);
            break;
        }
    EXPECT_EQ(Joined(expected), Joined(seen)) << "docs/administrators.md's synopsis, as the usage states it";
}

TEST(Documentation, TheJsonFieldsAreStatusJsonsKeys) {
    setup::InstallationStatus status;
    status.listed = true;
    const std::string json = setup::Utf8(cli::StatusJson(status, std::nullopt, {}, setup::kVeltro));
    // The top level's keys, in order.
    std::vector<std::string> keys;
    int depth = 0;
    bool inString = false;
    std::string current;
    for (std::size_t i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (inString) {
            if (c == '\\') current += json[++i];
            else if (c == '"') inString = false;
            else current += c;
            continue;
        }
        if (c == '"') {
            inString = true;
            current.clear();
        } else if (c == '{' || c == '[') {
            ++depth;
        } else if (c == '}' || c == ']') {
            --depth;
        } else if (c == ':' && depth == 1) {
            keys.push_back("| `" + current + "` |");
        }
    }
    std::vector<std::string> seen;
    for (const auto& row : Block(PageLines(), "| field | what it holds |", "| ", 1))
        seen.push_back(row.substr(0, row.find(" |", 2) + 2));
    EXPECT_EQ(Joined(keys), Joined(seen)) << "docs/administrators.md's status --json fields, as StatusJson writes them";
}

}  // namespace
