// Puts a Display P3 or Adobe RGB colour profile into JPEG files in place, for the benchmark corpus. The
// image data stays as it is, so a file decodes as before and the run converts its colours to sRGB.
// Usage: quorvane-tag-jpeg display-p3|adobe-rgb FILE...

#include "support/ColourProfiles.h"
#include "support/TestSupport.h"

#include <exception>
#include <iostream>
#include <string>

using namespace quorvane;

int main(int argc, char** argv)
{
    const std::string space = argc > 1 ? argv[1] : "";
    if (argc < 3 || (space != "display-p3" && space != "adobe-rgb")) {
        std::cerr << "usage: quorvane-tag-jpeg display-p3|adobe-rgb FILE...\n";
        return 64;
    }
    try {
        const TestFiles::Bytes profile = TestFiles::MakeRgbProfile(
            space == "display-p3" ? TestFiles::RgbSpace::DisplayP3 : TestFiles::RgbSpace::AdobeRgb);
        for (int i = 2; i < argc; ++i) {
            const std::string bytes = ReadFileBytes(argv[i]);
            WriteFileBytes(argv[i], TestFiles::WithIccProfile(TestFiles::Bytes(bytes.begin(), bytes.end()), profile));
        }
    } catch (const std::exception& e) {
        std::cerr << "quorvane-tag-jpeg: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
