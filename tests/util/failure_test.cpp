// Failures carry the system's reason from the file layer to the message,
// and the message is made of language texts: the problem's, the cause's.
#include "util/failure.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <map>

#include "store/dbf/dbf_error.h"
#include "store/dbf/raw_file.h"
#include "test_support.h"
#include "util/file_change.h"
#include "util/file_writer.h"
#include "util/folder_lock.h"

namespace zafirel {
namespace {

namespace fs = std::filesystem;

// A language of bracketed keys, so the test sees which key each piece came from.
std::string Bracketed(std::string_view key) { return "[" + std::string(key) + "]"; }

struct CauseCase {
  int cause;
  std::string text;
};

class CauseTextTest : public ::testing::TestWithParam<CauseCase> {};

TEST_P(CauseTextTest, NamesTheCommonReasonsByTheirOwnKey) {
  EXPECT_EQ(CauseText(Bracketed, GetParam().cause), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Causes, CauseTextTest,
                         ::testing::Values(CauseCase{0, ""}, CauseCase{ENOSPC, "[CausaSinEspacio]"},
                                           CauseCase{EDQUOT, "[CausaSinEspacio]"},
                                           CauseCase{EACCES, "[CausaSinPermiso]"},
                                           CauseCase{EPERM, "[CausaSinPermiso]"},
                                           CauseCase{EROFS, "[CausaSoloLectura]"},
                                           CauseCase{EFBIG, "[CausaDemasiadoGrande]"},
                                           CauseCase{EIO, "[CausaOtra] Input/output error"}),
                         [](const auto& info) {
                           return "errno" + std::to_string(info.param.cause);
                         });

TEST(FailureText, IsMadeOfTheKeysTextsTheDetailTheFileAndTheCause) {
  const dbf::DbfError missing("A la tabla le falta el campo", "/datos/CDROM.DBF", 0, "ALBUM");
  EXPECT_STREQ(missing.what(), "A la tabla le falta el campo ALBUM: /datos/CDROM.DBF");
  EXPECT_EQ(FailureText(Bracketed, missing), "[FaltaCampo] ALBUM: /datos/CDROM.DBF");
  const dbf::DbfError full("No se puede escribir en el archivo", "/datos/CDROM.DBF", ENOSPC);
  EXPECT_EQ(FailureMessage(Bracketed, "ErrorBorrarCD", full),
            "[ErrorBorrarCD]: [ErrorEscribirArchivo]: /datos/CDROM.DBF ([CausaSinEspacio])");
  EXPECT_EQ(FailureText(Bracketed, dbf::DbfError("El archivo est\xE1 truncado", "/x")),
            "[ArchivoTruncado]: /x");
  EXPECT_EQ(FailureText(Bracketed, dbf::DbfError("El archivo de memos est\xE1 da\xF1"
                                                 "ado",
                                                 "/x")),
            "[ArchivoDanado]: /x");
  EXPECT_EQ(FailureText(Bracketed, FolderBusy("/datos")), "[CarpetaOcupada]");
  // A language file without the key still says what happened.
  EXPECT_EQ(FailureText([](std::string_view) { return std::string(); }, missing),
            "A la tabla le falta el campo ALBUM: /datos/CDROM.DBF");
}

// A refused change (the seam a full disc is simulated through) reaches the
// writers' callers with the reason the hook gave.
TEST(FailureCause, TheFileLayerPassesTheSystemsReasonOn) {
  testing::TempFolder folder;
  const fs::path file = folder / "T.DBF";
  ASSERT_TRUE(WriteFileAtomically(file, "abc"));
  dbf::RawFile raw = dbf::RawFile::Open(file);
  SetFileChangeHook([] {
    errno = ENOSPC;
    return false;
  });
  errno = 0;
  EXPECT_FALSE(WriteFileAtomically(folder / "U.DBF", "x"));
  EXPECT_EQ(errno, ENOSPC);
  int cause = 0;
  try {
    raw.WriteAt(0, "z");
  } catch (const dbf::DbfError& error) {
    cause = error.Cause();
  }
  SetFileChangeHook([] { return false; });  // no reason given: an input/output error
  EXPECT_FALSE(WriteFileAtomically(folder / "U.DBF", "x"));
  const int unnamed = errno;
  SetFileChangeHook(nullptr);
  EXPECT_EQ(cause, ENOSPC);
  EXPECT_EQ(unnamed, EIO);
  try {
    (void)dbf::RawFile::Open(folder / "NADA.DBF");
    ADD_FAILURE();
  } catch (const dbf::DbfError& error) {
    EXPECT_EQ(error.Cause(), ENOENT);
  }
}

}  // namespace
}  // namespace zafirel
