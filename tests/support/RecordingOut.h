#pragma once

#include "platform/Errors.h"
#include "platform/TextFile.h"

#include <cerrno>
#include <chrono>
#include <string>
#include <string_view>
#include <thread>

namespace velmar::test {

/// An export target that keeps what is written and counts the writes; it may take its time over each write
/// (as a slow disk does) and fail at one of them with "Disk full" (0: none), writing nothing then.
class RecordingOut : public OutText {
public:
    explicit RecordingOut(int failAt = 0, std::chrono::milliseconds pause = std::chrono::milliseconds(0))
        : failAt_(failAt)
        , pause_(pause)
    {
    }

    void write(std::string_view bytes) override
    {
        if (pause_.count() > 0)
            std::this_thread::sleep_for(pause_);
        if (++writes == failAt_)
            throw InOutError::fromErrno(ENOSPC);
        text += bytes;
    }

    int writes = 0;
    std::string text;

private:
    int failAt_;
    std::chrono::milliseconds pause_;
};

} // namespace velmar::test
