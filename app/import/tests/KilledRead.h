#pragma once
// A read killed from outside: a child process reads into the archive and is sent SIGKILL once its
// wait reporter has been pumped `pumps` times (the store pumps once a mail, so that falls inside a
// mailbox's transaction when the mailboxes are large enough). The archive is closed meanwhile.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "db/Schema.h"
#include "import/MailRead.h"
#include "testsupport/TestSupport.h"

namespace kamo::test {

inline void ReadKilledAfterPumps(const std::filesystem::path& archive, const ReadRequest& request,
                                 const ReadHooks& hooks, int64_t pumps) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(ready[0]);
        struct Signalling : WaitReporter {
            int fd;
            int64_t at;
            int64_t pumped = 0;
            Signalling(int f, int64_t a) : fd(f), at(a) {}
            void SetLine(int, const std::string&) override {}
            void SetProgress(int64_t, int64_t) override {}
            void Pump() override {
                if (++pumped < at)
                    return;
                // Say so and wait to be killed.
                if (write(fd, "x", 1) != 1)
                    _exit(3);
                for (;;)
                    pause();
            }
        } signalling(ready[1], pumps);
        try {
            auto db = OpenArchive(archive);
            KamoLibrary library(BuildLibraryPath());
            ReadPostPetMail(*db, library, request, hooks, signalling);
        } catch (...) {
            _exit(2);
        }
        _exit(0);
    }
    close(ready[1]);
    char byte = 0;
    const bool reached = read(ready[0], &byte, 1) == 1;
    close(ready[0]);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(reached) << "the read ended before its pump " << pumps;
    ASSERT_TRUE(WIFSIGNALED(status));
}

} // namespace kamo::test
