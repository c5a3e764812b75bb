// Sound files as the "audio" command reads them: integer and float samples,
// channels mixed down to one, and files that are no sound.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sound_file.h"
#include "sound_writer.h"
#include "support/scratch_dir.h"

namespace kivanime_player {
namespace {

TEST(PlayerSoundFile, ReadsSamplesAsOneChannelAndRefusesWhatIsNoSound) {
    const kivanime::test::ScratchDir dir("kivanime_player_sound");
    const struct {
        const char* file;
        int format, channels, rate;
        std::vector<float> written, read;
    } cases[] = {
        // 16-bit samples come back divided by 32768, exactly.
        {"s16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 16000, {.5f, -.25f, -1, -1}, {.125f, -1}},
        {"mono.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 44100, {0.3f, -0.7f}, {0.3f, -0.7f}},
        {"three.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 3, 8000, {0.5f, 0.25f, 0.75f}, {0.5f}},
    };
    for (const auto& c : cases) {
        const std::string path = (dir / c.file).string();
        ASSERT_TRUE(test::WriteSound(path, c.format, c.channels, c.rate, c.written)) << c.file;
        Sound sound;
        std::string error;
        ASSERT_TRUE(ReadSoundFile(path, sound, error)) << c.file << ": " << error;
        EXPECT_EQ(sound.samples, c.read) << c.file;
        EXPECT_EQ(sound.rate, c.rate) << c.file;
    }
    dir.Write("text.wav", "RIFF, but not really");
    for (const char* file : {"text.wav", "none.wav", ""}) {
        Sound sound;
        std::string error;
        EXPECT_FALSE(ReadSoundFile((dir / file).string(), sound, error)) << file;
        EXPECT_FALSE(error.empty()) << file;
    }
}

}  // namespace
}  // namespace kivanime_player
