// Decoding pictures that may come from the web: PNG and JPEG; anything else,
// broken data and oversized pictures give nothing.
#include "ui/image.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <zlib.h>

#include "ui/pictures.hpp"

namespace zoq::ui {
namespace {

std::string Jpeg(int width, int height) {
  jpeg_compress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &out, &size);
  info.image_width = width;
  info.image_height = height;
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_start_compress(&info, TRUE);
  std::vector<unsigned char> row(width * 3, 200);
  while (info.next_scanline < info.image_height) {
    JSAMPROW p = row.data();
    jpeg_write_scanlines(&info, &p, 1);
  }
  jpeg_finish_compress(&info);
  std::string bytes(reinterpret_cast<char*>(out), size);
  jpeg_destroy_compress(&info);
  free(out);
  return bytes;
}

TEST(DecodePicture, BuiltInPngsAndJpegs) {
  auto overlay = DecodePicture(PictureData(Picture::AvatarOverlay));
  ASSERT_TRUE(overlay);
  EXPECT_EQ(std::vector<std::size_t>({std::size_t(overlay->width), std::size_t(overlay->height), overlay->rgba.size()}),
            std::vector<std::size_t>({100, 100, 100u * 100 * 4}));
  EXPECT_EQ(overlay->rgba[(50 * 100 + 50) * 4 + 3], 0);  // transparent inside
  auto jpeg = DecodePicture(Jpeg(64, 32));
  ASSERT_TRUE(jpeg);
  EXPECT_EQ(std::vector<int>({jpeg->width, jpeg->height, jpeg->rgba[3]}), std::vector<int>({64, 32, 255}));
  EXPECT_TRUE(DecodePicture(Jpeg(kMaxPictureSide, 8)));
}

TEST(DecodePicture, BrokenForeignOrOversizedDataGivesNothing) {
  const std::string png(PictureData(Picture::SwitchOn));
  const std::string jpeg = Jpeg(16, 16);
  std::string garbled = png;
  garbled[garbled.size() / 2] ^= 0x55;
  // The PNG's header claims a width beyond the cap (with a valid checksum).
  std::string wide = png;
  const unsigned width = kMaxPictureSide + 1;
  wide[16] = char(width >> 24), wide[17] = char(width >> 16), wide[18] = char(width >> 8), wide[19] = char(width);
  const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(wide.data() + 12), 17);
  wide[29] = char(crc >> 24), wide[30] = char(crc >> 16), wide[31] = char(crc >> 8), wide[32] = char(crc);
  for (const std::string& bytes : {std::string(), std::string("GIF89a......"), png.substr(0, png.size() / 2),
                                   jpeg.substr(0, 40), garbled, wide, Jpeg(kMaxPictureSide + 8, 8)}) {
    EXPECT_FALSE(DecodePicture(bytes)) << bytes.size();
  }
}

}  // namespace
}  // namespace zoq::ui
