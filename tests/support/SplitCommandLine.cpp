#include "support/SplitCommandLine.h"

namespace testing_support {

std::vector<std::u16string> SplitCommandLine(std::u16string_view line) {
    std::vector<std::u16string> args;
    std::size_t i = 0;
    auto blank = [&](std::size_t at) { return line[at] == u' ' || line[at] == u'\t'; };
    // The program name: up to the next quote when it starts with one, else
    // up to the first blank; backslashes are plain characters in it.
    std::u16string program;
    if (i < line.size() && line[i] == u'"') {
        for (++i; i < line.size() && line[i] != u'"'; ++i) program.push_back(line[i]);
        if (i < line.size()) ++i;
    } else {
        for (; i < line.size() && !blank(i); ++i) program.push_back(line[i]);
    }
    args.push_back(program);
    for (;;) {
        while (i < line.size() && blank(i)) ++i;
        if (i >= line.size()) break;
        std::u16string arg;
        bool quoted = false;
        while (i < line.size() && (quoted || !blank(i))) {
            std::size_t slashes = 0;
            while (i < line.size() && line[i] == u'\\') ++slashes, ++i;
            if (i < line.size() && line[i] == u'"') {
                arg.append(slashes / 2, u'\\');
                if (slashes % 2) {
                    arg.push_back(u'"');
                } else if (quoted && i + 1 < line.size() && line[i + 1] == u'"') {
                    arg.push_back(u'"');  // "" inside quotes is one quote, and ends them
                    quoted = false;
                    ++i;
                } else {
                    quoted = !quoted;
                }
                ++i;
            } else {
                arg.append(slashes, u'\\');
                if (i < line.size() && (quoted || !blank(i))) arg.push_back(line[i++]);
            }
        }
        args.push_back(arg);
    }
    return args;
}

}  // namespace testing_support
