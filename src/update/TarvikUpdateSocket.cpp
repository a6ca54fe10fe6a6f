#include "update/TarvikUpdateSocket.h"

#include <cerrno>
#include <cstdio>
#include <string>

#include "framework/MessageBox.h"
#include "update/ModuleLine.h"
#include "update/UpdateSocketOwner.h"
#include "update/UpdateTexts.h"

namespace omblor::update {

TarvikUpdateSocket::TarvikUpdateSocket(UpdateSocketOwner& owner, std::uint32_t address,
                                       std::uint16_t port)
    : owner_(owner), peer_(net::CAsyncSocket::MakeAddress(address, port)) {
    if (!Create(0, SOCK_STREAM, net::FD_READ | net::FD_CONNECT)) {
        char text[64];
        std::snprintf(text, sizeof text, "Error on Connect = %ld for %d",
                      static_cast<long>(net::WSAGetLastError()), 0);
        framework::AfxMessageBox(text);
        return;
    }
    ConnectHelper(reinterpret_cast<const sockaddr*>(&peer_), sizeof peer_);
}

TarvikUpdateSocket::~TarvikUpdateSocket() = default;

std::string TarvikUpdateSocket::ErrorDetails(int error) const {
    return SocketErrorDetails(ntohl(peer_.sin_addr.s_addr), ntohs(peer_.sin_port), error);
}

void TarvikUpdateSocket::OnConnect(int errorCode) {
    if (errorCode != 0) {
        owner_.EndWithErrorDetails(std::string_view("299 Connect error").substr(3),
                                   ErrorDetails(errorCode));
    }
}

void TarvikUpdateSocket::OnReceive(int errorCode) {
    if (errorCode != 0) {
        owner_.EndWithErrorDetails(std::string_view("299 Receive error").substr(3),
                                   ErrorDetails(errorCode));
        return;
    }
    if (handling_) return;
    for (;;) {
        char byte = 0;
        const int got = Receive(&byte, 1);
        if (got == 0) return;  // the module closed the stream; the time-out decides
        if (got < 0) {
            const int error = net::WSAGetLastError();
            if (error != EWOULDBLOCK && error != EAGAIN && error != EINTR) {
                owner_.EndWithErrorDetails(std::string_view("299 Receive error").substr(3),
                                           ErrorDetails(error));
            }
            return;
        }
        switch (framer_.Push(byte)) {
            case LineFramer::Result::NeedMore:
                break;
            case LineFramer::Result::Line: {
                handling_ = true;
                owner_.OnModuleLine(ParseLineCode(framer_.Text()), framer_.Text());
                handling_ = false;
                framer_.Reset();
                break;
            }
            case LineFramer::Result::TooLong:
                // The framer's buffer still holds the line's start.
                owner_.EndWithErrorDetails(
                    " Line too long",
                    LongLineDetails(std::string_view(framer_.Text(), LineFramer::kBufferSize - 2)));
                break;
        }
    }
}

}  // namespace omblor::update
