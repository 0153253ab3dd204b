#include "util/files.h"

#include <gtest/gtest.h>

namespace zafirel {
namespace {

TEST(NombreSinExtension, DropsFoldersAndTheLastExtension) {
  EXPECT_EQ(NombreSinExtension("CDROM.DBF"), "CDROM");
  EXPECT_EQ(NombreSinExtension("D:\\DATOS\\CDROM.Dbf"), "CDROM");
  EXPECT_EQ(NombreSinExtension("/home/u/datos/Caratulas.dbf"), "Caratulas");
  EXPECT_EQ(NombreSinExtension("D:\\A.B\\archivo.tar.gz"), "archivo.tar");
  EXPECT_EQ(NombreSinExtension("D:\\A.B\\SINEXT"), "SINEXT");
  EXPECT_EQ(NombreSinExtension("D:\\DOCS\\"), "");
  EXPECT_EQ(NombreSinExtension(""), "");
}

}  // namespace
}  // namespace zafirel
