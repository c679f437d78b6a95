#pragma once

#include "link/AudioPlayer.h"

#include <set>
#include <string>
#include <vector>

namespace anunciel::test {

// A player whose playback lasts until the test says it ended.
class FakePlayer final : public AudioPlayer
{
public:
    std::chrono::milliseconds length{10000}; // what play() reports for every file
    bool failPlay = false;
    std::set<std::string> unplayable; // files that fail to play
    std::vector<std::string> played;
    int stops = 0;
    bool playing = false;

    Start play(const std::string &path) override
    {
        played.push_back(path);
        playing = false;
        if (failPlay || unplayable.count(path))
            return {LinkStatus::failure(6, "cannot play"), {}};
        playing = true;
        return {LinkStatus::success(), length};
    }
    void stop() override
    {
        ++stops;
        playing = false;
    }
    // The playback ends by itself.
    void end(PlaybackEnd how)
    {
        playing = false;
        reportEnd(how);
    }
};

} // namespace anunciel::test
