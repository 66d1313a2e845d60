// Prints the messages of a program's message table as Event Viewer would
// show them: "message_check PROGRAM ID..." loads PROGRAM as data and writes,
// for each ID, "ID: TEXT" with the message formatted with the insertion
// string "<text>", its line breaks as \r and \n; "ID: none (error N)" when
// there is no such message.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fwprintf(stderr, L"usage: message_check PROGRAM ID...\n");
        return 2;
    }
    HMODULE module = ::LoadLibraryExW(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module) {
        std::fwprintf(stderr, L"message_check: cannot load %ls (error %lu)\n", argv[1], ::GetLastError());
        return 1;
    }
    for (int i = 2; i < argc; ++i) {
        const DWORD id = std::wcstoul(argv[i], nullptr, 10);
        const wchar_t* insertions[] = {L"<text>"};
        wchar_t* text = nullptr;
        const DWORD length = ::FormatMessageW(
            FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY, module, id,
            MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), reinterpret_cast<wchar_t*>(&text), 0,
            reinterpret_cast<va_list*>(const_cast<wchar_t**>(insertions)));
        if (length == 0) {
            std::printf("%lu: none (error %lu)\n", id, ::GetLastError());
            continue;
        }
        std::string shown;
        for (DWORD k = 0; k < length; ++k) {
            const wchar_t c = text[k];
            if (c == L'\r') shown += "\\r";
            else if (c == L'\n') shown += "\\n";
            else shown += c < 0x80 ? static_cast<char>(c) : '?';
        }
        ::LocalFree(text);
        std::printf("%lu: %s\n", id, shown.c_str());
    }
    ::FreeLibrary(module);
    return 0;
}
