#pragma once
// The few EXIF fields a converter needs: the orientation that makes a photo upright
// and the resolution.

#include <cstddef>
#include <cstdint>

namespace tessaplex::read {

struct ExifFields {
    int orientation = 1;     // 1..8 as in TIFF; 1 when absent or out of range
    double xResolution = 0;  // per resolutionUnit; 0 when absent
    double yResolution = 0;
    int resolutionUnit = 2;  // 1: no absolute unit, 2: inch, 3: centimetre
};

// Parses the payload of an APP1 segment ("Exif\0\0" and a TIFF structure); anything
// malformed simply leaves the defaults.
ExifFields parseExif(const uint8_t* data, size_t size);

}  // namespace tessaplex::read
