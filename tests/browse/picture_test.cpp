// Cover pictures: JPEG round trips, damaged data, the stored record per disc,
// and where a picture is drawn in the view.
#include "browse/picture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

#include "store/catalogue_files.h"
#include "store/covers.h"
#include "store/disc_removal.h"
#include "store/tablas.h"
#include "test_support.h"

namespace zafirel {
namespace {

Picture Gradient(int w, int h) {
  Picture p{w, h, {}};
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      p.rgb.push_back(static_cast<std::uint8_t>(x * 255 / w));
      p.rgb.push_back(static_cast<std::uint8_t>(y * 255 / h));
      p.rgb.push_back(128);
    }
  return p;
}

TEST(Jpeg, RoundTripKeepsSizeAndRoughlyThePixels) {
  const Picture original = Gradient(64, 40);
  const std::string jpeg = EncodeJpeg(original, kCoverJpegQuality);
  ASSERT_TRUE(LooksLikeJpeg(jpeg));
  const std::optional<Picture> back = DecodeJpeg(jpeg);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->width, 64);
  EXPECT_EQ(back->height, 40);
  ASSERT_EQ(back->rgb.size(), original.rgb.size());
  int worst = 0;
  for (std::size_t i = 0; i < original.rgb.size(); ++i)
    worst = std::max(worst, std::abs(int(original.rgb[i]) - int(back->rgb[i])));
  EXPECT_LT(worst, 24);
  // A lower quality gives a smaller file.
  EXPECT_LT(EncodeJpeg(original, 10).size(), jpeg.size());
}

TEST(Jpeg, BytesThatAreNotAJpegGiveNothing) {
  EXPECT_FALSE(DecodeJpeg(""));
  EXPECT_FALSE(DecodeJpeg("BM this is a bitmap header"));
  const std::string jpeg = EncodeJpeg(Gradient(32, 32), 80);
  EXPECT_FALSE(DecodeJpeg(jpeg.substr(0, 20)));  // cut short in its header
  std::string garbled = jpeg;
  for (std::size_t i = 4; i < garbled.size(); i += 3) garbled[i] = '\x5A';
  DecodeJpeg(garbled);  // whatever it gives, it must come back
  EXPECT_TRUE(EncodeJpeg(Picture{}, 80).empty());
  EXPECT_TRUE(EncodeJpeg(Picture{10, 10, {1, 2, 3}}, 80).empty());  // too few pixels
}

// A CMYK JPEG made with libjpeg itself, as scanners and Adobe programs write them.
std::string CmykJpeg(int w, int h) {
  jpeg_compress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = w;
  info.image_height = h;
  info.input_components = 4;
  info.in_color_space = JCS_CMYK;
  jpeg_set_defaults(&info);
  jpeg_start_compress(&info, TRUE);
  std::vector<unsigned char> row(static_cast<std::size_t>(w) * 4, 200);
  while (info.next_scanline < info.image_height) {
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::string bytes(reinterpret_cast<char*>(buffer), size);
  std::free(buffer);
  return bytes;
}

// Crafted pictures: a CMYK file whose end is damaged after its last row (it
// once freed a buffer twice), and files declaring sizes no cover has, which
// are refused before anything that size is allocated.
TEST(Jpeg, CraftedPicturesAreRefusedOrDecodedSafely) {
  const std::string cmyk = CmykJpeg(16, 8);
  const std::optional<Picture> whole = DecodeJpeg(cmyk);
  ASSERT_TRUE(whole);
  EXPECT_EQ(whole->width, 16);
  EXPECT_TRUE(DecodeJpeg(cmyk, 16 * 8));  // the limit counts declared pixels
  EXPECT_FALSE(DecodeJpeg(cmyk, 16 * 8 - 1));
  std::string damaged = cmyk.substr(0, cmyk.size() - 2) + "\xFF\xD8\xFF\xD8";  // SOI for EOI
  DecodeJpeg(damaged);  // whatever it gives, it must come back
  for (const std::uint16_t side : {std::uint16_t{65000}, std::uint16_t{20000}}) {
    std::string huge = EncodeJpeg(Gradient(8, 8), 80);
    const std::size_t sof = huge.find("\xFF\xC0");
    ASSERT_NE(sof, std::string::npos);
    for (std::size_t at : {sof + 5, sof + 7}) {  // height, then width, big-endian
      huge[at] = static_cast<char>(side >> 8);
      huge[at + 1] = static_cast<char>(side & 0xFF);
    }
    EXPECT_FALSE(DecodeJpeg(huge)) << side;
  }
}

TEST(PictureGeometry, ShrinksToFitKeepingTheShapeAndCentres) {
  const PictureRect area{1, 1, 303, 271};
  EXPECT_EQ(FitPicture(2000, 1000, area, true, true), (PictureRect{1, 61, 303, 151}));
  EXPECT_EQ(FitPicture(100, 100, area, true, true), (PictureRect{102, 86, 100, 100}));
  EXPECT_EQ(FitPicture(100, 100, area, false, true), (PictureRect{102, 86, 100, 100}));
  EXPECT_EQ(FitPicture(200, 1000, area, true, false), (PictureRect{1, 1, 54, 271}));
  EXPECT_EQ(FitPicture(400, 100, area, true, false), (PictureRect{1, 1, 303, 75}));
  // Both too large and, scaled to the width, still too tall.
  EXPECT_EQ(FitPicture(600, 1200, area, true, false), (PictureRect{1, 1, 135, 271}));
  // Not stretched: natural size, centred and clipped by the view.
  EXPECT_EQ(FitPicture(2000, 1000, area, false, true), (PictureRect{-848, -364, 2000, 1000}));
}

class CoverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(TTablas::CreateDiscTable(folder_.Path()));
    ASSERT_TRUE(TTablas::CreateCoverTable(folder_.Path()));
    tablas_.SetFolder(folder_.Path());
    tablas_.TablaGraf.Open();
  }
  testing::TempFolder folder_;
  TTablas tablas_;
};

TEST_F(CoverTest, ANewPictureReplacesTheOldOneAndBinaryBytesSurvive) {
  dbf::Table& covers = tablas_.TablaGraf;
  EXPECT_FALSE(FindCover(covers, "3"));
  const std::string first = EncodeJpeg(Gradient(20, 20), 85);
  StoreCover(covers, "3", first);
  StoreCover(covers, "30", std::string("\xFF\xD8\xFF\x00\x1A\r\n", 7));
  EXPECT_EQ(FindCover(covers, "3"), first);
  const std::string second = EncodeJpeg(Gradient(30, 10), 85);
  StoreCover(covers, "3", second);
  EXPECT_EQ(FindCover(covers, "3"), second);
  EXPECT_EQ(covers.RecordCount(), 2u);
  EXPECT_EQ(FindCover(covers, "30"), std::string("\xFF\xD8\xFF\x00\x1A\r\n", 7));
}

TEST_F(CoverTest, DeletingADiscTakesItsFilesAndPicturesWithIt) {
  dbf::Table& discs = tablas_.TablaCDRom;
  discs.Open();
  for (const char* number : {"1", "2"})
    testing::AppendRecord(discs, {{"TITULOCD", std::string("Disco ") + number}, {"AUTO", number}});
  const auto catalogues = folder_ / "Catalogos";
  std::filesystem::create_directory(catalogues);
  testing::WriteBytes(TreeFilePath(catalogues, "2"), "D:\\\r\n");  // its .Ct is missing
  StoreCover(tablas_.TablaGraf, "2", "jpeg");
  StoreCover(tablas_.TablaGraf, "1", "otro");
  tablas_.TablaGraf.Close();

  EXPECT_TRUE(DeleteDisc(tablas_, catalogues, "2"));
  EXPECT_FALSE(std::filesystem::exists(TreeFilePath(catalogues, "2")));
  EXPECT_EQ(discs.RecordCount(), 1u);
  EXPECT_FALSE(DeleteDisc(tablas_, catalogues, "2"));
  tablas_.TablaGraf.Open();
  EXPECT_FALSE(FindCover(tablas_.TablaGraf, "2"));
  EXPECT_EQ(FindCover(tablas_.TablaGraf, "1"), "otro");
}

}  // namespace
}  // namespace zafirel
