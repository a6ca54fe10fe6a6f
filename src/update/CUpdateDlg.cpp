#include "update/CUpdateDlg.h"

#include <climits>
#include <string>

#include "framework/CDataExchange.h"
#include "framework/MessageBox.h"
#include "image/AppImageReader.h"
#include "resources/ResourceIds.h"
#include "update/CPassDlg.h"
#include "update/ModuleLine.h"
#include "update/TarvikUpdateSocket.h"
#include "resources/Messages.h"

namespace omblor::update {

using framework::AfxMessageBox;
using framework::IDCANCEL;
using framework::IDOK;

namespace {
constexpr int kSilentTicks = 30;

// The reader's messages go to the operator as message boxes, one each.
class MessageBoxSink final : public image::MessageSink {
public:
    void Show(std::string_view text) override { AfxMessageBox(text); }
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
}

bool CUpdateDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    silence_ = 0;
    timerId_ = SetTimer(1, tickMs);
    progress_.SetRange(0, 100);
    progress_.SetPos(0);
    MessageBoxSink sink;
    image_ = image::LoadAppImage(fileName_, sink);
    if (!image_) {
        OnCancel();
        return true;
    }
    socket_ = std::make_unique<TarvikUpdateSocket>(*this, address_, port);
    return true;
}

void CUpdateDlg::OnTimer(std::uintptr_t /*id*/) {
    if (ending_) return;
    if (++silence_ >= kSilentTicks) EndWithError(messages::kTimedOut);
}

void CUpdateDlg::EndWithError(std::string_view text) {
    if (ending_) return;
    ending_ = true;
    silence_ = 0;
    // A credentials prompt still open belongs to an update that is over.
    if (openPrompt_ != nullptr) openPrompt_->EndDialog(IDCANCEL);
    AfxMessageBox(std::string(messages::kErrorPrefix).append(text));
    KillTimer(timerId_);
    CDialog::OnCancel();
}

void CUpdateDlg::OnCancel() {
    if (completed_ != 0) {
        ending_ = true;
        CDialog::OnOK();
        return;
    }
    ending_ = true;
    if (openPrompt_ != nullptr) openPrompt_->EndDialog(IDCANCEL);
    KillTimer(timerId_);
    EndDialog(IDCANCEL);
}

void CUpdateDlg::SendBytes(const void* data, std::size_t length) {
    if (socket_) socket_->Send(data, static_cast<int>(length));
}

void CUpdateDlg::OnModuleLine(std::int32_t code, char* line) {
    silence_ = 0;
    if (ending_) return;  // the outcome is decided; later lines change nothing
    if (code == code::kPlatform) {
        platformName_ = PlatformNameOf(line);
    } else if (code == code::kCredentials) {
        CPassDlg prompt;
        openPrompt_ = &prompt;
        const int result = prompt.DoModal();
        openPrompt_ = nullptr;
        if (ending_) return;
        if (result == IDOK) {
            std::string reply = CredentialsReply(prompt.userName, prompt.password);
            SendBytes(reply.data(), reply.size());
            framework::SecureWipe(reply);
        } else {
            OnCancel();
        }
    } else if (code == code::kImageHeader) {
        const auto header = PlatformAccepts(platformName_, image_->headerText)
                                ? ImageHeaderReply(image_->baseAddress, image_->length)
                                : ImageHeaderReply(0, 0);
        SendBytes(header.data(), header.size());
    } else if (code == code::kImage) {
        // One send of the whole image, straight from its buffer. The socket queues what the
        // connection cannot take at once by reference (the image outlives the socket, which
        // this dialog closes first) and reports the whole count. An image beyond what one send
        // can count cannot go out whole: a short send, reported.
        const bool fits = image_->length <= static_cast<std::uint32_t>(INT_MAX);
        const int sent = socket_ && fits ? socket_->SendBorrowed(std::as_bytes(image_->Bytes())) : -1;
        if (!fits || sent != static_cast<int>(image_->length)) AfxMessageBox(messages::kSendError);
    } else if (code == code::kRebootChoice) {
        const char choice = reboot_ != 0 ? 'R' : 'D';
        SendBytes(&choice, 1);
    } else if (code == code::kComplete || code == code::kCompleteNoReboot) {
        completed_ = 1;
        OnCancel();
    } else if (code >= code::kFirstError && code <= code::kLastError) {
        // The text from the line's fourth character; a line of just the code shows nothing more.
        std::string_view text(line);
        EndWithError(text.size() > 3 ? text.substr(3) : std::string_view());
    } else if (code > code::kProgressBase) {
        progress_.SetPos(code - code::kProgressBase);
    }
}

}  // namespace omblor::update
