#pragma once

#include "link/audio/AudioPlayer.h"

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace anunciel::test {

// A player whose playback lasts until the test says it ended. It records what it was asked
// to check and to play, and when the first sample was to leave.
class FakePlayer final : public AudioPlayer
{
public:
    std::chrono::milliseconds length{10000}; // what check() and play() report for every file
    bool failPlay = false;                   // no file can be played
    std::set<std::string> unplayable;        // files that cannot be played
    // Files whose output does not open, though the file checks out (the server went).
    std::set<std::string> unopenable;
    // The failure given for a file that cannot be played (6: not a PCM WAV file).
    LinkStatus failure = LinkStatus::failure(6, "cannot play");
    std::vector<std::string> checked;
    std::vector<std::string> prepared;
    // Runs inside prepare(), before it answers.
    std::function<void(const std::string &)> onPrepare;
    std::vector<std::string> played;
    std::vector<TimePoint> startTimes; // startAt of each play, in order
    // Runs inside play(), before it answers (to look at the radio at that moment, say).
    std::function<void(const std::string &)> onPlay;
    int stops = 0;
    bool playing = false;

    Start check(const std::string &path) override
    {
        checked.push_back(path);
        if (failPlay || unplayable.count(path))
            return {failure, {}};
        return {LinkStatus::success(), length};
    }
    Start prepare(const std::string &path) override
    {
        prepared.push_back(path);
        if (onPrepare)
            onPrepare(path);
        if (unopenable.count(path))
            return {LinkStatus::failure(9, "output did not open"), {}};
        return check(path);
    }
    Start play(const std::string &path, TimePoint startAt) override
    {
        played.push_back(path);
        startTimes.push_back(startAt);
        if (onPlay)
            onPlay(path);
        playing = false;
        if (failPlay || unplayable.count(path))
            return {failure, {}};
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
    // The sound server is lost, or back.
    void server(bool reachable) { reportServer(reachable, reachable ? "" : "gone"); }
};

} // namespace anunciel::test
