// SPDX-License-Identifier: MIT
// A control program as a Windows user's own would be: it opens PORTWREN's named pipe as a file,
// sends each request given (one JSON object each) as a line, and prints the answer lines, one
// for each request, on standard output. Usage: control_pipe_client NAME REQUEST... (NAME as
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
    int answers = 0;
    std::string arrived;
    while (answers < argc - 2) {
        char buffer[4096];
        DWORD got = 0;
        if (!::ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) || got == 0) {
            std::fprintf(stderr, "control_pipe_client: the pipe closed after %d answers\n",
                         answers);
            return 1;
        }
        arrived.append(buffer, got);
        for (size_t end; (end = arrived.find('\n')) != std::string::npos; ++answers) {
            std::fwrite(arrived.data(), 1, end + 1, stdout);
            arrived.erase(0, end + 1);
        }
    }
    ::CloseHandle(pipe);
    return 0;
}
