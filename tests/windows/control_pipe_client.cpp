// SPDX-License-Identifier: MIT
// A control program as a Windows user's own would be: it opens PORTWREN's named pipe as a file,
// sends each request given (one JSON object each) as a line, and prints the lines that come
// back on standard output: the greeting, then one answer for each request. Usage:
// control_pipe_client NAME REQUEST... (NAME as
// --control takes it). Status 1, with the reason on standard error, when the pipe cannot be
// opened or closes before every answer came.
#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char *argv[])
{
    if (argc < 2) {
        std::fputs("usage: control_pipe_client NAME REQUEST...\n", stderr);
        return 2;
    }
    std::string name = argv[1];
    if (name.rfind("\\\\.\\pipe\\", 0) != 0)
        name = "\\\\.\\pipe\\" + name;
    HANDLE pipe = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 50 && pipe == INVALID_HANDLE_VALUE; ++attempt) {
        pipe = ::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             0, nullptr);
        if (pipe == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_PIPE_BUSY)
            ::WaitNamedPipeA(name.c_str(), 100);
        else if (pipe == INVALID_HANDLE_VALUE)
            break;
    }
    if (pipe == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "control_pipe_client: cannot open %s: error %lu\n", name.c_str(),
                     ::GetLastError());
        return 1;
    }
    std::string requests;
    for (int i = 2; i < argc; ++i)
        requests += std::string(argv[i]) + "\n";
    DWORD written = 0;
    if (!::WriteFile(pipe, requests.data(), DWORD(requests.size()), &written, nullptr)) {
        std::fprintf(stderr, "control_pipe_client: cannot write: error %lu\n", ::GetLastError());
        return 1;
    }
    int lines = 0; // the greeting and the answers
    std::string arrived;
    while (lines < 1 + argc - 2) {
        char buffer[4096];
        DWORD got = 0;
        if (!::ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) || got == 0) {
            std::fprintf(stderr, "control_pipe_client: the pipe closed after %d lines\n", lines);
            return 1;
        }
        arrived.append(buffer, got);
        for (size_t end; (end = arrived.find('\n')) != std::string::npos; ++lines) {
            std::fwrite(arrived.data(), 1, end + 1, stdout);
            arrived.erase(0, end + 1);
        }
    }
    ::CloseHandle(pipe);
    return 0;
}
