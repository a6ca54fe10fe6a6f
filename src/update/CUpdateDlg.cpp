#include "update/CUpdateDlg.h"

#include <cstdio>
#include <string>

#include "framework/CDataExchange.h"
#include "framework/MessageBox.h"
#include "image/AppImageReader.h"
#include "image/RecordPlace.h"
#include "resources/Messages.h"
#include "resources/ResourceIds.h"
#include "update/CPassDlg.h"
#include "update/UpdateTexts.h"

namespace omblor::update {

using framework::AfxMessageBox;
using framework::IDCANCEL;
using framework::IDOK;

namespace {

// The reader's messages go to the operator as message boxes, one each, with the file and, for a
// refused record, where it stands as details.
class MessageBoxSink final : public image::MessageSink {
  public:
    explicit MessageBoxSink(std::string_view path) : path_(path), details_("File: " + path_) {}
    void Show(std::string_view text) override {
        framework::AfxMessageBoxWithDetails(text, details_);
    }
    void OnOpenFailed(std::string_view path, std::string_view reason) override {
        details_ = OpenFailureDetails(path, reason);
    }
    void OnRecordAt(std::size_t fileOffset) override {
        const auto place = image::LocateRecord(path_, fileOffset);
        details_ = RecordDetails(path_, place.line, place.column, place.text);
    }

  private:
    std::string path_;
    std::string details_;
};

// What follows "Error:" in the failure box: the module's own text, or the tool's sentence.
std::string_view FailureText(const SessionEnd& end) {
    switch (end.failure) {
        case Failure::ModuleError:
            return end.moduleText;
        case Failure::TimedOut:
            return messages::kTimedOut;
        case Failure::ConnectError:
            return messages::kConnectError;
        case Failure::LineTooLong:
            return messages::kLineTooLong;
        case Failure::ReceiveError:
        // The window leaves a closed stream to the time-out, so it never ends this way.
        case Failure::ClosedByModule:
        case Failure::SendError:
        case Failure::CredentialsNeeded:
        case Failure::None:
            break;
    }
    return messages::kReceiveError;
}
}  // namespace

CUpdateDlg::CUpdateDlg(std::string_view fileName, std::uint32_t address, int rebootWhenComplete,
                       CDialog* parent)
    : CDialog(resources::IDD_UPDATE, parent),
      fileName_(fileName),
      address_(address),
      reboot_(rebootWhenComplete) {}

CUpdateDlg::~CUpdateDlg() = default;

framework::MessageMap CUpdateDlg::GetMessageMap() const {
    static constexpr auto kTimer = &CUpdateDlg::OnTimer;
    static const framework::MessageMapEntry kMap[] = {
        framework::OnTimerEntry<CUpdateDlg>(&kTimer),
    };
    return kMap;
}

void CUpdateDlg::DoDataExchange(framework::CDataExchange* pDX) {
    framework::DDX_Control(pDX, IDCANCEL, cancelButton_);
    framework::DDX_Control(pDX, resources::IDC_PROGRESS, progress_);
    framework::DDX_Control(pDX, resources::IDC_STATUS, status_);
}

bool CUpdateDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    timerId_ = SetTimer(1, tickMs);
    progress_.SetRange(0, 100);
    progress_.SetPos(0);
    MessageBoxSink sink(fileName_);
    image_ = image::LoadAppImage(fileName_, sink);
    if (!image_) {
        OnCancel();
        return true;
    }
    status_.SetWindowText(status::Connecting(address_, port));
    session_ = std::make_unique<UpdateSession>(
        static_cast<UpdateSessionOwner&>(*this), *image_, address_, port,
        reboot_ != 0 ? RebootChoice::Reboot : RebootChoice::Stay);
    session_->Start();
    return true;
}

void CUpdateDlg::OnTimer(std::uintptr_t /*id*/) {
    if (session_) session_->Tick();
}

void CUpdateDlg::OnCancel() {
    if (session_ && !session_->Ending()) {
        session_->Cancel();
        return;
    }
    KillTimer(timerId_);
    EndDialog(IDCANCEL);
}

void CUpdateDlg::OnPlatformNamed(std::string_view name) {
    status_.SetWindowText(status::Platform(name));
}

std::optional<Credentials> CUpdateDlg::OnCredentialsNeeded() {
    status_.SetWindowText(status::WaitingForCredentials());
    CPassDlg prompt;
    openPrompt_ = &prompt;
    const int result = prompt.DoModal();
    openPrompt_ = nullptr;
    if (result != IDOK) return std::nullopt;
    return Credentials(prompt.userName, prompt.password);
}

void CUpdateDlg::OnHeaderAnswered(HeaderAnswer answer) {
    status_.SetWindowText(status::HeaderSent(image_->baseAddress, image_->length, answer));
}

void CUpdateDlg::OnImageSent(std::uint64_t sent, std::uint64_t total) {
    status_.SetWindowText(status::Sending(sent, total));
}

void CUpdateDlg::OnProgress(int position) {
    progress_.SetPos(position);
    status_.SetWindowText(status::Programming(progress_.GetPos()));
}

void CUpdateDlg::OnRebootAnswered(RebootChoice choice) {
    status_.SetWindowText(status::RebootReply(choice));
}

void CUpdateDlg::OnTrouble(Failure failure, int error) {
    if (failure == Failure::ConnectError) {
        char text[64];
        std::snprintf(text, sizeof text, messages::kErrorOnConnectFormat, static_cast<long>(error),
                      0);
        AfxMessageBox(text);
        return;
    }
    AfxMessageBox(messages::kSendError);
}

void CUpdateDlg::OnEnded(const SessionEnd& end) {
    // A credentials prompt still open belongs to an update that is over.
    if (openPrompt_ != nullptr) openPrompt_->EndDialog(IDCANCEL);
    switch (end.result) {
        case SessionResult::Completed:
            status_.SetWindowText(status::Done());
            CDialog::OnOK();
            return;
        case SessionResult::Failed:
            framework::AfxMessageBoxWithDetails(
                std::string(messages::kErrorPrefix).append(FailureText(end)), end.details);
            KillTimer(timerId_);
            CDialog::OnCancel();
            return;
        case SessionResult::Cancelled:
            KillTimer(timerId_);
            EndDialog(IDCANCEL);
            return;
    }
}

}  // namespace omblor::update
