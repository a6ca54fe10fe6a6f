#include "update/TarvikUpdateSocket.h"

#include <cerrno>
#include <cstdio>
#include <string>

#include "update/ModuleLine.h"
#include "update/UpdateSocketOwner.h"
#include "resources/Messages.h"
#include "update/UpdateTexts.h"

namespace omblor::update {

TarvikUpdateSocket::TarvikUpdateSocket(UpdateSocketOwner& owner, std::uint32_t address,
                                       std::uint16_t port)
    : owner_(owner), peer_(net::CAsyncSocket::MakeAddress(address, port)) {
    if (!Create(0, SOCK_STREAM, net::FD_READ | net::FD_CONNECT)) {
        error_ = net::WSAGetLastError();
        char text[64];
        std::snprintf(text, sizeof text, messages::kErrorOnConnectFormat,
                      static_cast<long>(error_), 0);
        owner_.OnNotice(text);
        return;
    }
    ConnectHelper(reinterpret_cast<const sockaddr*>(&peer_), sizeof peer_);
}

TarvikUpdateSocket::~TarvikUpdateSocket() = default;

std::string TarvikUpdateSocket::ErrorDetails(int error) const {
    return SocketErrorDetails(ntohl(peer_.sin_addr.s_addr), ntohs(peer_.sin_port), error);
}

void TarvikUpdateSocket::OnConnect(int errorCode) {
    if (errorCode == 0) return;
    error_ = errorCode;
    owner_.EndWithErrorDetails(messages::kConnectError, ErrorDetails(errorCode));
}

void TarvikUpdateSocket::OnReceive(int errorCode) {
    if (errorCode != 0) {
        error_ = errorCode;
        owner_.EndWithErrorDetails(messages::kReceiveError, ErrorDetails(errorCode));
        return;
    }
    if (handling_) return;
    for (;;) {
        char byte = 0;
        const int got = Receive(&byte, 1);
        if (got == 0) {
            owner_.OnModuleClosed();
            return;
        }
        if (got < 0) {
            const int error = net::WSAGetLastError();
            if (error != EWOULDBLOCK && error != EAGAIN) {
                error_ = error;
                owner_.EndWithErrorDetails(messages::kReceiveError, ErrorDetails(error));
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
                    messages::kLineTooLong,
                    LongLineDetails(std::string_view(framer_.Text(), LineFramer::kBufferSize - 2)));
                break;
        }
    }
}

}  // namespace omblor::update
