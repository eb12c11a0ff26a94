// NOT BUILT YET: the bodies below wait for the table component TTarnTable. Until it is
// merged each raises an EDatabaseError saying so, and the application shows that error
// through its standard error report wherever the catalogue is needed.
// TODO(catalogue): own Tbarea, Tbfileid, Tbfilever (TTarnTable) and make the calls each
// method's comment in catalogue.h lists, converting strings with QStringToAnsi /
// AnsiToQString.
#include "app/catalogue.h"

#include "platform/errors.h"

namespace filever {
namespace {

[[noreturn]] void NotConnected(const char* operation) {
    throw tarn::EDatabaseError(
        tarn::Format("TCatalogue: %s is not connected to the database engine yet", operation));
}

}  // namespace

TCatalogue::TCatalogue() = default;
TCatalogue::~TCatalogue() = default;

void TCatalogue::Open(const QString&) { NotConnected("Open"); }
std::vector<TAreaRow> TCatalogue::Areas() { NotConnected("Areas"); }
std::vector<TFileRow> TCatalogue::FilesOfArea(int32_t) { NotConnected("FilesOfArea"); }
std::vector<QString> TCatalogue::VersionNamesOfFile(int32_t) { NotConnected("VersionNamesOfFile"); }
std::vector<TFileRow> TCatalogue::AllFiles() { NotConnected("AllFiles"); }
void TCatalogue::FindFileByPath(const QString&, verinfo&) { NotConnected("FindFileByPath"); }
void TCatalogue::FindVersionByName(const QString&, verinfo&) { NotConnected("FindVersionByName"); }
void TCatalogue::AddArea(const QString&, const QString&) { NotConnected("AddArea"); }
bool TCatalogue::FindArea(const QString&, TAreaRow&) { NotConnected("FindArea"); }
void TCatalogue::AddFile(int32_t, const QString&, const QString&) { NotConnected("AddFile"); }
bool TCatalogue::RemoveFile(const QString&) { NotConnected("RemoveFile"); }
bool TCatalogue::FindFileIgnoreCase(const QString&, TFileRow&) {
    NotConnected("FindFileIgnoreCase");
}
void TCatalogue::SetRecordedTime(int32_t, const QString&) { NotConnected("SetRecordedTime"); }
void TCatalogue::AddVersion(const TVersionRow&, verinfo&) { NotConnected("AddVersion"); }
bool TCatalogue::SetVersionDescription(int32_t, const QString&, const QString&) {
    NotConnected("SetVersionDescription");
}

}  // namespace filever
