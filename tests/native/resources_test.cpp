// Checks the committed pictures in resources/ byte by byte: the icon
// directories and bitmap headers the resource compiler and Windows rely on,
// and the JPEG frame the banner is drawn from.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#ifndef RESOURCES_DIR
#error "RESOURCES_DIR must name the folder holding banner.jpg and the icons"
#endif

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ReadResource(const std::string& name) {
    std::ifstream in(std::string(RESOURCES_DIR) + "/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// True when [offset, offset + length) lies inside the buffer.
bool Spans(const Bytes& b, std::uint64_t offset, std::uint64_t length) {
    return offset <= b.size() && length <= b.size() - offset;
}

std::uint32_t Le16(const Bytes& b, std::size_t at) {
    return b[at] | static_cast<std::uint32_t>(b[at + 1]) << 8;
}
std::uint32_t Le32(const Bytes& b, std::size_t at) {
    return Le16(b, at) | Le16(b, at + 2) << 16;
}
std::int32_t Le32Signed(const Bytes& b, std::size_t at) {
    return static_cast<std::int32_t>(Le32(b, at));
}
std::uint32_t Be16(const Bytes& b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) << 8 | b[at + 1];
}
std::uint32_t Be32(const Bytes& b, std::size_t at) {
    return Be16(b, at) << 16 | Be16(b, at + 2);
}
bool HasText(const Bytes& b, std::size_t at, const char* text, std::size_t length) {
    return Spans(b, at, length) && std::memcmp(&b[at], text, length) == 0;
}

// ---------------------------------------------------------------- icons

enum class Storage { Bmp, Png };

struct IconImage {
    std::uint32_t size; // width and height in pixels
    std::uint32_t bits; // bits per pixel as listed in the directory
    Storage storage;
};

std::string Describe(std::size_t index, const IconImage& image) {
    return "image " + std::to_string(index) + " (" + std::to_string(image.size) + " px, " +
           std::to_string(image.bits) + " bpp" + (image.storage == Storage::Png ? ", PNG)" : ")");
}

constexpr char kPngSignature[] = "\x89PNG\r\n\x1a\n";

// BMP rows, colour and mask alike, are padded to whole 32-bit words.
constexpr std::uint32_t RowBytes(std::uint32_t bitsPerRow) {
    return (bitsPerRow + 31) / 32 * 4;
}

void CheckBmpImage(const Bytes& file, std::size_t at, std::uint32_t length, const IconImage& want) {
    ASSERT_GE(length, 40u) << "too short for a BITMAPINFOHEADER";
    EXPECT_EQ(Le32(file, at), 40u) << "biSize";
    EXPECT_EQ(Le32Signed(file, at + 4), static_cast<std::int32_t>(want.size)) << "biWidth";
    EXPECT_EQ(Le32Signed(file, at + 8), static_cast<std::int32_t>(want.size * 2))
        << "biHeight must cover the colour image and the AND mask";
    EXPECT_EQ(Le16(file, at + 12), 1u) << "biPlanes";
    ASSERT_EQ(Le16(file, at + 14), want.bits) << "biBitCount differs from the directory entry";
    EXPECT_EQ(Le32(file, at + 16), 0u) << "biCompression must be BI_RGB";

    const std::uint32_t coloursUsed = Le32(file, at + 32);
    std::uint32_t paletteEntries = 0;
    if (want.bits == 8) {
        EXPECT_TRUE(coloursUsed == 0 || coloursUsed == 256)
            << "8-bit images carry a full 256-colour palette, biClrUsed=" << coloursUsed;
        paletteEntries = 256;
    } else {
        EXPECT_EQ(coloursUsed, 0u) << "no palette expected above 8 bpp";
    }

    const std::uint32_t n = want.size;
    const std::uint32_t colourStride = RowBytes(n * want.bits);
    const std::uint32_t maskStride = RowBytes(n);
    ASSERT_EQ(length, 40 + 4 * paletteEntries + (colourStride + maskStride) * n)
        << "dwBytesInRes disagrees with header, palette, colour rows and mask rows";

    const std::size_t palette = at + 40;
    const std::size_t colours = palette + 4 * paletteEntries;
    const std::size_t mask = colours + std::size_t{colourStride} * n;
    std::uint32_t opaque = 0, transparent = 0, litBehindMask = 0, maskVsAlpha = 0;
    for (std::uint32_t y = 0; y < n; ++y) {
        for (std::uint32_t x = 0; x < n; ++x) {
            const bool masked = file[mask + y * maskStride + x / 8] & (0x80 >> (x % 8));
            const std::size_t px = colours + y * colourStride + x * want.bits / 8;
            const std::size_t bgr = want.bits == 8 ? palette + 4 * std::size_t{file[px]} : px;
            const bool black = file[bgr] == 0 && file[bgr + 1] == 0 && file[bgr + 2] == 0;
            if (want.bits == 32) {
                // Windows draws 32-bit images by alpha; the mask is for old
                // code paths and must cut along the same line.
                if (masked != (file[px + 3] < 128))
                    ++maskVsAlpha;
            } else if (masked && !black) {
                ++litBehindMask;
            }
            ++(masked ? transparent : opaque);
        }
    }
    EXPECT_EQ(maskVsAlpha, 0u) << "pixels where the AND mask and the alpha channel disagree";
    EXPECT_EQ(litBehindMask, 0u)
        << "masked-out pixels must be black in the colour image, or they get XORed onto the screen";
    EXPECT_GT(opaque, n * n / 4) << "the picture is (almost) entirely transparent";
    EXPECT_GT(transparent, 0u) << "nothing is transparent: the icon would be a solid square";
}

void CheckPngImage(const Bytes& file, std::size_t at, std::uint32_t length, const IconImage& want) {
    // Signature, IHDR chunk (8 + 13 + 4 bytes) and IEND chunk at the least.
    ASSERT_GE(length, 8u + 25u + 12u) << "too short for a PNG";
    EXPECT_EQ(Be32(file, at + 8), 13u) << "IHDR length";
    EXPECT_TRUE(HasText(file, at + 12, "IHDR", 4)) << "IHDR must come first";
    EXPECT_EQ(Be32(file, at + 16), want.size) << "PNG width";
    EXPECT_EQ(Be32(file, at + 20), want.size) << "PNG height";
    EXPECT_EQ(file[at + 24], 8) << "bits per channel";
    EXPECT_EQ(file[at + 25], 6) << "colour type must be 6 (RGBA)";
    EXPECT_TRUE(HasText(file, at + length - 8, "IEND", 4))
        << "the entry must end with the IEND chunk; dwBytesInRes is off or the PNG is cut short";
}

void CheckIcon(const Bytes& file, const std::vector<IconImage>& want) {
    ASSERT_GE(file.size(), 6u) << "missing or truncated file";
    EXPECT_EQ(Le16(file, 0), 0u) << "idReserved";
    EXPECT_EQ(Le16(file, 2), 1u) << "idType must be 1 (icon)";
    ASSERT_EQ(Le16(file, 4), want.size()) << "number of images";
    const std::uint64_t directoryEnd = 6 + 16 * want.size();
    ASSERT_TRUE(Spans(file, 0, directoryEnd)) << "directory runs past the end of the file";

    std::vector<std::pair<std::uint64_t, std::uint64_t>> extents;
    for (std::size_t i = 0; i < want.size(); ++i) {
        const IconImage& w = want[i];
        SCOPED_TRACE(Describe(i, w));
        const std::size_t entry = 6 + 16 * i;
        EXPECT_EQ(file[entry], w.size % 256) << "bWidth";
        EXPECT_EQ(file[entry + 1], w.size % 256) << "bHeight";
        EXPECT_EQ(file[entry + 2], 0) << "bColorCount";
        EXPECT_EQ(file[entry + 3], 0) << "bReserved";
        EXPECT_EQ(Le16(file, entry + 4), 1u) << "wPlanes";
        EXPECT_EQ(Le16(file, entry + 6), w.bits) << "wBitCount";
        const std::uint32_t length = Le32(file, entry + 8);
        const std::uint32_t offset = Le32(file, entry + 12);
        EXPECT_GE(offset, directoryEnd) << "image data overlaps the directory";
        if (!Spans(file, offset, length)) {
            ADD_FAILURE() << "image data [" << offset << ", +" << length
                          << ") runs past the end of the file (" << file.size() << " bytes)";
            continue;
        }
        extents.emplace_back(offset, std::uint64_t{offset} + length);

        const bool isPng = HasText(file, offset, kPngSignature, 8);
        EXPECT_EQ(isPng, w.storage == Storage::Png) << "stored as " << (isPng ? "PNG" : "BMP");
        if (isPng) {
            CheckPngImage(file, offset, length, w);
        } else {
            CheckBmpImage(file, offset, length, w);
        }
    }

    std::sort(extents.begin(), extents.end());
    for (std::size_t i = 1; i < extents.size(); ++i) {
        EXPECT_LE(extents[i - 1].second, extents[i].first)
            << "two images share bytes at offset " << extents[i].first;
    }
}

TEST(ResourcePictures, TamselIconHoldsTwelveImagesInOrder) {
    const std::vector<IconImage> want = {
        {48, 8, Storage::Bmp},  {32, 8, Storage::Bmp},   {24, 8, Storage::Bmp},
        {16, 8, Storage::Bmp},  {128, 32, Storage::Png}, {96, 32, Storage::Bmp},
        {72, 32, Storage::Bmp}, {64, 32, Storage::Bmp},  {48, 32, Storage::Bmp},
        {32, 32, Storage::Bmp}, {24, 32, Storage::Bmp},  {16, 32, Storage::Bmp},
    };
    const Bytes file = ReadResource("tamsel.ico");
    CheckIcon(file, want);
    // The icon is linked into the executable, which has a size budget.
    EXPECT_LE(file.size(), 128u * 1024u) << "tamsel.ico has grown past its budget";
}

TEST(ResourcePictures, IronvaleIconHoldsFourImagesInOrder) {
    const std::vector<IconImage> want = {
        {32, 8, Storage::Bmp},
        {16, 8, Storage::Bmp},
        {32, 24, Storage::Bmp},
        {16, 24, Storage::Bmp},
    };
    CheckIcon(ReadResource("ironvale.ico"), want);
}

// ---------------------------------------------------------------- banner

TEST(ResourcePictures, BannerIsBaselineColourJpegOfDialogSize) {
    const Bytes jpg = ReadResource("banner.jpg");
    ASSERT_GE(jpg.size(), 4u) << "missing or truncated file";
    ASSERT_EQ(jpg[0], 0xFF);
    ASSERT_EQ(jpg[1], 0xD8) << "no SOI marker";
    EXPECT_EQ(jpg[jpg.size() - 2], 0xFF);
    EXPECT_EQ(jpg[jpg.size() - 1], 0xD9) << "no EOI marker at the end";
    EXPECT_LE(jpg.size(), 32u * 1024u) << "banner.jpg has grown past its budget";

    bool jfif = false, scan = false;
    int baselineFrames = 0;
    std::vector<int> otherFrames;
    std::size_t at = 2;
    while (at + 4 <= jpg.size()) {
        ASSERT_EQ(jpg[at], 0xFF) << "marker expected at byte " << at;
        const std::uint8_t marker = jpg[at + 1];
        if (marker == 0xFF) { // fill byte
            ++at;
            continue;
        }
        const std::uint32_t length = Be16(jpg, at + 2);
        ASSERT_GE(length, 2u);
        ASSERT_TRUE(Spans(jpg, at + 2, length)) << "segment at byte " << at << " runs past the end";
        const std::size_t body = at + 4;

        if (marker == 0xE0 && HasText(jpg, body, "JFIF", 5))
            jfif = true;
        if (marker == 0xEE && length >= 14) {
            // An Adobe segment may override the colour transform; 1 is YCbCr.
            EXPECT_EQ(jpg[body + 11], 1) << "Adobe transform flag says the data is not YCbCr";
        }
        if (marker == 0xC0) {
            ++baselineFrames;
            ASSERT_GE(length, 8u + 3u * 3u) << "SOF0 too short for three components";
            EXPECT_EQ(jpg[body], 8) << "sample precision";
            EXPECT_EQ(Be16(jpg, body + 1), 70u) << "height";
            EXPECT_EQ(Be16(jpg, body + 3), 378u) << "width";
            ASSERT_EQ(jpg[body + 5], 3) << "component count (1 = greyscale, 4 = CMYK)";
            for (int c = 0; c < 3; ++c) {
                EXPECT_EQ(jpg[body + 6 + 3 * c], c + 1) << "component ids 1, 2, 3 mean Y, Cb, Cr";
            }
        } else if (marker >= 0xC1 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
                   marker != 0xCC) {
            otherFrames.push_back(marker);
        }
        if (marker == 0xDA) {
            scan = true;
            break;
        }
        at += 2 + length;
    }
    EXPECT_TRUE(scan) << "no start of scan";
    EXPECT_EQ(baselineFrames, 1) << "exactly one baseline (SOF0) frame expected";
    EXPECT_TRUE(otherFrames.empty())
        << "non-baseline frame marker 0x" << std::hex << (otherFrames.empty() ? 0 : otherFrames[0])
        << " (0xC2 = progressive)";
    EXPECT_TRUE(jfif) << "no JFIF segment; readers then cannot tell YCbCr from RGB";
}

} // namespace
