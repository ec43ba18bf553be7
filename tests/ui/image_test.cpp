// Decoding pictures that may come from the web: PNG and JPEG, anything else,
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
  EXPECT_EQ(overlay->width, 100);
  EXPECT_EQ(overlay->height, 100);
  EXPECT_EQ(overlay->rgba.size(), 100u * 100 * 4);
  EXPECT_EQ(overlay->rgba[(50 * 100 + 50) * 4 + 3], 0);  // transparent inside

  auto jpeg = DecodePicture(Jpeg(64, 32));
  ASSERT_TRUE(jpeg);
  EXPECT_EQ(jpeg->width, 64);
  EXPECT_EQ(jpeg->height, 32);
  EXPECT_EQ(jpeg->rgba[3], 255);
}

TEST(DecodePicture, BrokenOrForeignDataGivesNothing) {
  const std::string png(PictureData(Picture::SwitchOn));
  const std::string jpeg = Jpeg(16, 16);
  EXPECT_FALSE(DecodePicture(""));
  EXPECT_FALSE(DecodePicture("GIF89a......"));
  EXPECT_FALSE(DecodePicture(png.substr(0, png.size() / 2)));
  EXPECT_FALSE(DecodePicture(jpeg.substr(0, 40)));
  std::string garbled = png;
  garbled[garbled.size() / 2] ^= 0x55;
  EXPECT_FALSE(DecodePicture(garbled));
}

TEST(DecodePicture, OversizedPicturesAreRefused) {
  // The PNG's header claims a width beyond the cap (with a valid checksum).
  std::string png(PictureData(Picture::SwitchOn));
  const unsigned width = kMaxPictureSide + 1;
  png[16] = char(width >> 24), png[17] = char(width >> 16), png[18] = char(width >> 8), png[19] = char(width);
  const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(png.data() + 12), 17);
  png[29] = char(crc >> 24), png[30] = char(crc >> 16), png[31] = char(crc >> 8), png[32] = char(crc);
  EXPECT_FALSE(DecodePicture(png));
  EXPECT_FALSE(DecodePicture(Jpeg(kMaxPictureSide + 8, 8)));
  EXPECT_TRUE(DecodePicture(Jpeg(kMaxPictureSide, 8)));
}

}  // namespace
}  // namespace zoq::ui
