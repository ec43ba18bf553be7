// The third-party libraries the plug-in links statically: each one works
// inside a 32-bit Windows program.
#include <gtest/gtest.h>
#include <iconv.h>
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

TEST(Dependencies, LibiconvConvertsGbkAndUtf8) {
  iconv_t cd = iconv_open("UTF-8", "GB18030");
  ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
  std::string in = "\xB3\xF5\xCA\xBC\xBB\xAF";  // 初始化
  char out[32] = {};
  const char* ip = in.data();
  char* op = out;
  size_t il = in.size(), ol = sizeof out;
  ASSERT_NE(iconv(cd, &ip, &il, &op, &ol), static_cast<size_t>(-1));
  iconv_close(cd);
  EXPECT_EQ(std::string(out, op), "\xE5\x88\x9D\xE5\xA7\x8B\xE5\x8C\x96");
}

TEST(Dependencies, LibpngRoundTripsAPicture) {
  png_image w{};
  w.version = PNG_IMAGE_VERSION;
  w.width = 4;
  w.height = 3;
  w.format = PNG_FORMAT_RGBA;
  std::vector<png_byte> pixels(4 * 3 * 4);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<png_byte>(i * 7);
  png_alloc_size_t size = 0;
  ASSERT_TRUE(png_image_write_to_memory(&w, nullptr, &size, 0, pixels.data(), 0, nullptr));
  std::vector<png_byte> file(size);
  ASSERT_TRUE(png_image_write_to_memory(&w, file.data(), &size, 0, pixels.data(), 0, nullptr));

  png_image r{};
  r.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_memory(&r, file.data(), size));
  r.format = PNG_FORMAT_RGBA;
  std::vector<png_byte> back(PNG_IMAGE_SIZE(r));
  ASSERT_TRUE(png_image_finish_read(&r, nullptr, back.data(), 0, nullptr));
  EXPECT_EQ(r.width, 4u);
  EXPECT_EQ(back, pixels);
}

struct JpegError {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
};

void JpegFail(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1); }

TEST(Dependencies, LibjpegEncodesDecodesAndFailsWithoutExiting) {
  unsigned char* encoded = nullptr;
  unsigned long encodedSize = 0;
  {
    jpeg_compress_struct c{};
    JpegError err;
    c.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = JpegFail;
    jpeg_create_compress(&c);
    jpeg_mem_dest(&c, &encoded, &encodedSize);
    c.image_width = 8;
    c.image_height = 8;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_start_compress(&c, TRUE);
    std::vector<unsigned char> row(8 * 3, 200);
    while (c.next_scanline < c.image_height) {
      JSAMPROW p = row.data();
      jpeg_write_scanlines(&c, &p, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
  }
  ASSERT_GT(encodedSize, 0u);

  auto decode = [](const unsigned char* data, unsigned long size, int* width) {
    jpeg_decompress_struct d{};
    JpegError err;
    d.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = JpegFail;
    jpeg_create_decompress(&d);
    if (setjmp(err.jump)) {
      jpeg_destroy_decompress(&d);
      return false;
    }
    jpeg_mem_src(&d, data, size);
    jpeg_read_header(&d, TRUE);
    jpeg_start_decompress(&d);
    *width = static_cast<int>(d.output_width);
    std::vector<unsigned char> row(d.output_width * d.output_components);
    while (d.output_scanline < d.output_height) {
      JSAMPROW p = row.data();
      jpeg_read_scanlines(&d, &p, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return true;
  };
  int width = 0;
  EXPECT_TRUE(decode(encoded, encodedSize, &width));
  EXPECT_EQ(width, 8);
  const unsigned char garbage[] = {0xFF, 0xD8, 0x00, 0x01, 0x02};
  EXPECT_FALSE(decode(garbage, sizeof garbage, &width));
  free(encoded);
}

}  // namespace
