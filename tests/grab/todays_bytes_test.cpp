// At the program's own size, frames are written byte for byte as the version
// before the own-size capture, the formats and the scaled band wrote them:
// SHA-256 sums of that version's files, label on and off.
#include "grab.h"

#include "images/decoded_jpeg.h"
#include "support/sha256.h"
#include "support/temporary_folder.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

namespace fs = std::filesystem;

struct TodaysFile {
    const char* clip;
    bool label;
    const char* name;
    const char* sha256;
};

TEST(TodaysBytes, TheProgramsSizeWritesWhatItWroteBefore) {
    const TodaysFile files[] = {
        {TESSELON_TEST_DATA "/index.mp4", true, "0.JPG",
         "1b5cbc6e08762efc6ef2b23cd82312a65689971974cb944d6c95f2ec46afd5cc"},
        {TESSELON_TEST_DATA "/index.mp4", true, "80.JPG",
         "241216181ab8d402d8413a08750408a6a59392aeb388bd50640b7bdb1fc84302"},
        {TESSELON_TEST_DATA "/index.mp4", false, "40.JPG",
         "683ba05f15765feaa9f518a5908b9c1300065278920b27a37771c8a669275bb0"},
        {TESSELON_SOURCE_DIR "/tests/app/data/hd_1280x720.mpg", true, "0.JPG",
         "0cd8acb8b6d783de6d3864b0e352833de88812f56467d756b7b65bd0aea7c72f"},
        {TESSELON_SOURCE_DIR "/tests/app/data/hd_1280x720.mpg", false, "40.JPG",
         "49d66248f4ce01afa49ddf8d86816fe2e789f97f13e2a122cd4d4b3579d884a4"},
    };
    for (const TodaysFile& file : files) {
        testing_support::TemporaryFolder folder;
        grab::Settings settings;
        settings.videos = {file.clip};
        settings.outputDirectory = folder.Path();
        settings.count = 3;
        if (file.label)
            settings.label = "JPG created with Tesselon grabs@example.org";
        std::ostringstream out, errors;
        ASSERT_EQ(grab::Run(settings, out, errors), 0) << errors.str();
        const auto bytes = images::testing::ReadFileBytes(folder.Path() / file.name);
        EXPECT_EQ(testing_support::Sha256Hex(bytes), file.sha256) << file.clip << " " << file.name;
    }
}

} // namespace
