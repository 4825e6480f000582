// A stand-in for a helper that waits for ever without using the processor, as one reading a hung
// network mount does: its limits never end it, and only its tie to the program can. It sets itself
// up as every helper does, and records, under the folder that "KESTROWAN_TEST_HELPER_RECORDS"
// names, what its start gave it: a line "<pid>" in the file named as it was started, and in
// "<pid>.start" its signal state, its process group and its open descriptors, read before its own
// set-up changed anything.
#include "Platform/thumbnailhelper/HelperLimits.h"

#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

std::string fileText(const char *path)
{
    std::string text;
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return text;
    char buffer[4096];
    ssize_t got = 0;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, size_t(got));
    ::close(fd);
    return text;
}

void writeFile(const std::string &path, const std::string &text, bool append)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC), 0600);
    if (fd < 0)
        return;
    [[maybe_unused]] const ssize_t written = ::write(fd, text.data(), text.size());
    ::close(fd);
}

} // namespace

int main(int, char *argv[])
{
    std::string start;
    const std::string status = fileText("/proc/self/status");
    for (const char *field : {"SigBlk:", "SigIgn:"}) {
        const size_t at = status.find(field);
        if (at != std::string::npos)
            start += status.substr(at, status.find('\n', at) - at + 1);
    }
    start += "Group: " + std::to_string(::getpgrp()) + "\n";
    start += "Descriptors:";
    if (DIR *descriptors = ::opendir("/proc/self/fd")) {
        const int own = ::dirfd(descriptors);
        while (const dirent *entry = ::readdir(descriptors)) {
            if (entry->d_name[0] != '.' && std::stoi(entry->d_name) != own)
                start += std::string(" ") + entry->d_name;
        }
        ::closedir(descriptors);
    }
    start += "\n";

    HelperLimits::applyToSelf();

    if (const char *records = std::getenv("KESTROWAN_TEST_HELPER_RECORDS")) {
        const std::string self = std::to_string(::getpid());
        std::string name = argv[0];
        name = name.substr(name.rfind('/') + 1);
        writeFile(std::string(records) + "/" + self + ".start", start, false);
        writeFile(std::string(records) + "/" + name, self + "\n", true);
    }
    for (;;)
        ::pause();
}
