// Prints a crop file of smart positions for the pictures given, with the smart crop's weights taken from
// the command line, so bench/smart-crop/evaluate.py --crop-file can score weights before they are frozen.
// Usage: quorvane-smart-probe WIDTH HEIGHT EDGES,COLOUR,RARE,SKIN,FLOOR,TAPER,PULL,MARGIN FILE...
#include "conversion/Picture.h"
#include "conversion/SmartCrop.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

using namespace quorvane;

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s WIDTH HEIGHT WEIGHTS FILE...\n", argv[0]);
        return 64;
    }
    const int64_t width = std::atoll(argv[1]);
    const int64_t height = std::atoll(argv[2]);
    SmartCropWeights weights;
    int* fields[] = {&weights.Edges,     &weights.Colour, &weights.RareColour, &weights.Skin,
                     &weights.EdgeFloor, &weights.Taper,  &weights.CentrePull, &weights.CentreMargin};
    std::istringstream given(argv[3]);
    std::string value;
    for (int* field : fields) {
        if (std::getline(given, value, ',') && !value.empty()) {
            *field = std::atoi(value.c_str());
        }
    }
    for (int i = 4; i < argc; ++i) {
        int32_t w = 0;
        int32_t h = 0;
        LoadError why;
        Raster reduced;
        if (!ReadPictureSize(argv[i], PictureFormat::Jpeg, w, h, why) ||
            !ReadReducedPicture(argv[i], PictureFormat::Jpeg, SmartCropWorkingSide, reduced, why)) {
            std::printf("# %s: not read\n", argv[i]);
            continue;
        }
        const CropPosition crop = ChooseSmartCrop(reduced, w, h, width, height, weights);
        std::printf("%s %s\n", CropPositionText(crop).c_str(), argv[i]);
    }
    return 0;
}
