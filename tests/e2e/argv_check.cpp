// The tests' command-line splitter against Windows' own CommandLineToArgvW,
// on lines with the quoting cases that printer names and folders bring:
// quotes, backslashes before quotes, trailing backslashes, blanks, tabs.
// Prints each disagreement and "argv: ok" or "argv: FAILED".
#include "support/SplitCommandLine.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

int wmain() {
    const wchar_t* lines[] = {
        L"rundll32 printui.dll,PrintUIEntry /dl /n \"KALDO Veltro MiniPrinter\"",
        L"rundll32 printui.dll,PrintUIEntry /dl /n \"B \\\"quoted\\\"\"",
        L"rundll32 printui.dll,PrintUIEntry /ia /f \"C:\\Program Files\\Kaldo\\PRT3Q42WD32.inf\" /m \"X\"",
        L"rundll32 a\\\\\\\"b \"c\\\\\" \"d\\\\\\\"e\" f\\\\g",
        L"rundll32 \"\" \"a\"\"b\" \"\"\"\" x",
        L"rundll32 \t tab\tseparated  \"in \t quotes\"",
        L"\"C:\\Program Files\\x.exe\" \"trailing\\\\\" last\\",
        L"rundll32 \"unterminated quote \\\\",
        L"rundll32 \"\\u00c5 name\" \"\xFF30\xFF2F\xFF33 \xFF21\"",
    };
    bool failed = false;
    for (const wchar_t* line : lines) {
        int count = 0;
        wchar_t** argv = ::CommandLineToArgvW(line, &count);
        std::vector<std::u16string> windows;
        for (int i = 0; i < count; ++i)
            windows.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
        ::LocalFree(argv);
        const std::vector<std::u16string> ours =
            testing_support::SplitCommandLine(reinterpret_cast<const char16_t*>(line));
        if (ours != windows) {
            failed = true;
            std::printf("FAIL: %ls: Windows %d arguments, ours %zu\n", line, count, ours.size());
            for (std::size_t i = 0; i < std::max(ours.size(), windows.size()); ++i)
                std::printf("  [%zu] %ls | %ls\n", i, i < windows.size() ? reinterpret_cast<const wchar_t*>(windows[i].c_str()) : L"-",
                            i < ours.size() ? reinterpret_cast<const wchar_t*>(ours[i].c_str()) : L"-");
        }
    }
    std::printf(failed ? "argv: FAILED\n" : "argv: ok\n");
    return failed ? 1 : 0;
}
