#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/command_line.h"
#include "driver/console.h"
#include "driver/run_settings.h"
#include "driver/usage_text.h"
#include "support/capture.h"

namespace {

const std::string BANNER = "KESTO 1.0  MSP430 programmer and serial terminal\n";

// Parses the arguments, then shows the usage as F1 in the terminal would, then a level-2 line
// to see whether the level the usage raised stays.
Captured usage_after(const std::vector<std::string>& arguments) {
    return capture_output([&] {
        settings = RunSettings{};
        std::vector<std::string> texts{"kesto"};
        texts.insert(texts.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& text : texts) argv.push_back(text.data());
        argv.push_back(nullptr);
        parse_command_line(static_cast<int>(texts.size()), argv.data());
        print_usage();
        print_at_level(2, "level=%d\n", settings.print_level);
    });
}

}  // namespace

TEST(Usage, ShowsTheDefaults) {
    const Captured run = usage_after({"-f"});
    EXPECT_EQ(run.text, BANNER + "\tFast Programming: RAM Content not preserved\n" + expected_usage() + "level=2\n");
    EXPECT_EQ(run.status, CAPTURE_RETURNED);
}

TEST(Usage, ShowsTheValuesTheCommandLineLeft) {
    UsageValues values;
    values.fet_port = "HID1";
    values.reset_method = 131;
    values.vcc = "0.0V";
    values.baud = "115200";
    values.log_name = "mylog.txt";
    values.anykey_mode = 1;
    const Captured run =
        usage_after({"-FET", "HID1", "-res", "3", "-vcc", "ext", "-baud", "115200", "-l", "mylog.txt", "-a", "1"});
    EXPECT_EQ(run.text, BANNER + "\t   FET Port name: HID1\n\t     Reset Metod: 131\n\t             Vcc: External\n" +
                            "\t   Log output to:`mylog.txt`\n" + expected_usage(values) + "level=2\n");
}

TEST(Usage, RaisesALowPrintLevelToTwoForGood) {
    UsageValues values;
    values.print_level = 2;
    EXPECT_EQ(usage_after({"-d", "0"}).text, BANNER + expected_usage(values) + "level=2\n");
    values.print_level = 5;
    EXPECT_EQ(usage_after({"-d", "5"}).text, BANNER + "\t     Debug level: 05\n" + expected_usage(values) + "level=5\n");
}

TEST(Usage, ShowsTheVoltageInTruncatedTenths) {
    UsageValues values;
    values.vcc = "3.2V";
    const Captured run = capture_output([] {
        settings = RunSettings{};
        settings.vcc_mv = 3299;
        print_usage();
    });
    EXPECT_EQ(run.text, expected_usage(values));
}
