#include "update/CUpdateDlg.h"

#include <algorithm>
#include <climits>
#include <string>

#include "framework/CDataExchange.h"
#include "framework/MessageBox.h"
#include "image/AppImageReader.h"
#include "image/RecordPlace.h"
#include "resources/ResourceIds.h"
#include "update/CPassDlg.h"
#include "update/ModuleLine.h"
#include "update/TarvikUpdateSocket.h"
#include "update/UpdateTexts.h"

namespace omblor::update {

using framework::AfxMessageBox;
using framework::IDCANCEL;
using framework::IDOK;

namespace {
constexpr unsigned kTickMs = 1000;
constexpr int kSilentTicks = 30;

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

CUpdateDlg::~CUpdateDlg() {
    socket_.reset();  // closes the connection
    image_.reset();
    framework::SecureWipe(password_);
}

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
    silence_ = 0;
    timerId_ = SetTimer(1, kTickMs);
    progress_.SetRange(0, 100);
    progress_.SetPos(0);
    lastHeard_ = std::chrono::steady_clock::now();
    MessageBoxSink sink(fileName_);
    image_ = image::LoadAppImage(fileName_, sink);
    if (!image_) {
        OnCancel();
        return true;
    }
    status_.SetWindowText(status::Connecting(address_, port));
    socket_ = std::make_unique<TarvikUpdateSocket>(*this, address_, port);
    return true;
}

void CUpdateDlg::OnTimer(std::uintptr_t /*id*/) {
    if (ending_) return;
    if (++silence_ >= kSilentTicks) {
        const auto silent = std::chrono::duration_cast<std::chrono::seconds>(
            std::chrono::steady_clock::now() - lastHeard_);
        EndWithErrorDetails(std::string_view("298 Timed out").substr(3),
                            SilenceDetails(lastLine_, silent.count()));
    }
}

void CUpdateDlg::EndWithError(std::string_view text) { EndWithErrorDetails(text, {}); }

void CUpdateDlg::EndWithErrorDetails(std::string_view text, std::string_view details) {
    if (ending_) return;
    ending_ = true;
    silence_ = 0;
    sendWatch_.Stop();
    // A credentials prompt still open belongs to an update that is over.
    if (openPrompt_ != nullptr) openPrompt_->EndDialog(IDCANCEL);
    framework::AfxMessageBoxWithDetails("Error:" + std::string(text), details);
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

void CUpdateDlg::ShowSent() {
    if (!image_) return;
    const std::size_t pending = socket_ ? socket_->PendingSendBytes() : 0;
    status_.SetWindowText(status::Sending(
        image_->length - std::min<std::size_t>(pending, image_->length), image_->length));
    if (pending == 0) sendWatch_.Stop();
}

void CUpdateDlg::OnModuleLine(std::int32_t code, char* line) {
    silence_ = 0;
    lastHeard_ = std::chrono::steady_clock::now();
    lastLine_ = line;
    if (ending_) return;  // the outcome is decided; later lines change nothing
    if (code == 100) {
        platformName_ = PlatformNameOf(line);
        status_.SetWindowText(status::Platform(platformName_));
    } else if (code == 101) {
        status_.SetWindowText(status::WaitingForCredentials());
        CPassDlg prompt;
        openPrompt_ = &prompt;
        const int result = prompt.DoModal();
        openPrompt_ = nullptr;
        if (ending_) return;
        if (result == IDOK) {
            password_ = prompt.password;
            std::string reply = CredentialsReply(prompt.userName, password_);
            SendBytes(reply.data(), reply.size());
            framework::SecureWipe(reply);
        } else {
            OnCancel();
        }
    } else if (code == 102) {
        const bool accepted = PlatformAccepts(platformName_, image_->headerText);
        const auto header = accepted ? ImageHeaderReply(image_->baseAddress, image_->length)
                                     : ImageHeaderReply(0, 0);
        SendBytes(header.data(), header.size());
        status_.SetWindowText(status::HeaderSent(image_->baseAddress, image_->length, accepted));
    } else if (code == 103) {
        // One send of the whole image, straight from its buffer. The socket queues what the
        // connection cannot take at once by reference (the image outlives the socket, which
        // this dialog closes first) and reports the whole count. An image beyond what one send
        // can count cannot go out whole: a short send, reported.
        const bool fits = image_->length <= static_cast<std::uint32_t>(INT_MAX);
        const int sent = socket_ && fits ? socket_->SendBorrowed(std::as_bytes(image_->Bytes())) : -1;
        ShowSent();
        if (socket_ && socket_->PendingSendBytes() > 0) {
            sendWatch_ = net::ScopedTimer(kSendRefresh, net::Repeat::Yes, [this] { ShowSent(); });
        }
        if (!fits || sent != static_cast<int>(image_->length)) AfxMessageBox("Send Error");
    } else if (code == 105) {
        const char choice = reboot_ != 0 ? 'R' : 'D';
        SendBytes(&choice, 1);
        status_.SetWindowText(status::RebootReply(reboot_ != 0));
    } else if (code == 106 || code == 107) {
        status_.SetWindowText(status::Done());
        completed_ = 1;
        OnCancel();
    } else if (code >= 201 && code <= 300) {
        // The text from the line's fourth character; a line of just the code shows nothing more.
        std::string_view text(line);
        EndWithError(text.size() > 3 ? text.substr(3) : std::string_view());
    } else if (code >= 301) {
        progress_.SetPos(code - 300);
        status_.SetWindowText(status::Programming(progress_.GetPos()));
    }
}

}  // namespace omblor::update
