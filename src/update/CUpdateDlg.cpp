#include "update/CUpdateDlg.h"

#include <algorithm>
#include <chrono>
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
constexpr auto kSendRefresh = std::chrono::milliseconds(100);

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
    session_ = std::make_unique<UpdateSession>(static_cast<UpdateSessionOwner&>(*this), *image_,
                                               address_, port, reboot_ != 0);
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

void CUpdateDlg::ShowSent() {
    const std::size_t pending = session_ ? session_->PendingSendBytes() : 0;
    status_.SetWindowText(status::Sending(
        image_->length - std::min<std::size_t>(pending, image_->length), image_->length));
    if (pending == 0) sendWatch_.Stop();
}

void CUpdateDlg::OnLineHandled(std::int32_t code, std::string_view /*line*/) {
    if (session_->Ending()) return;
    if (code == code::kPlatform) {
        status_.SetWindowText(status::Platform(session_->PlatformName()));
    } else if (code == code::kImageHeader) {
        status_.SetWindowText(status::HeaderSent(image_->baseAddress, image_->length,
                                                 !session_->RefusedPlatform()));
    } else if (code == code::kImage) {
        ShowSent();
        if (session_->PendingSendBytes() > 0) {
            sendWatch_ = net::ScopedTimer(kSendRefresh, net::Repeat::Yes, [this] { ShowSent(); });
        }
    } else if (code == code::kRebootChoice) {
        status_.SetWindowText(status::RebootReply(reboot_ != 0));
    }
}

void CUpdateDlg::OnProgress(int position) {
    progress_.SetPos(position);
    status_.SetWindowText(status::Programming(progress_.GetPos()));
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

void CUpdateDlg::OnNotice(std::string_view text) { AfxMessageBox(text); }

void CUpdateDlg::OnEnded(Outcome outcome, std::string_view text) {
    sendWatch_.Stop();
    // A credentials prompt still open belongs to an update that is over.
    if (openPrompt_ != nullptr) openPrompt_->EndDialog(IDCANCEL);
    switch (outcome) {
        case Outcome::Completed:
            status_.SetWindowText(status::Done());
            CDialog::OnOK();
            return;
        case Outcome::Failed:
            framework::AfxMessageBoxWithDetails(
                std::string(messages::kErrorPrefix).append(text), session_->FailureDetails());
            KillTimer(timerId_);
            CDialog::OnCancel();
            return;
        case Outcome::Cancelled:
            KillTimer(timerId_);
            EndDialog(IDCANCEL);
            return;
    }
}

}  // namespace omblor::update
