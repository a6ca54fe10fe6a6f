#include "update/TarvikUpdateSocket.h"

#include <cerrno>
#include <string>

#include "update/ModuleLine.h"
#include "update/UpdateSocketOwner.h"
#include "update/UpdateTexts.h"

namespace omblor::update {

TarvikUpdateSocket::TarvikUpdateSocket(UpdateSocketOwner& owner, std::uint32_t address,
                                       std::uint16_t port)
    : owner_(owner), peer_(net::CAsyncSocket::MakeAddress(address, port)) {
    if (!Create(0, SOCK_STREAM, net::FD_READ | net::FD_CONNECT)) {
        owner_.OnSocketNotMade(net::WSAGetLastError());
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
    owner_.OnSocketFailed(SocketFailure::Connect, errorCode, ErrorDetails(errorCode));
}

void TarvikUpdateSocket::OnReceive(int errorCode) {
    if (errorCode != 0) {
        owner_.OnSocketFailed(SocketFailure::Receive, errorCode, ErrorDetails(errorCode));
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
                owner_.OnSocketFailed(SocketFailure::Receive, error, ErrorDetails(error));
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
                owner_.OnSocketFailed(
                    SocketFailure::LineTooLong, 0,
                    LongLineDetails(std::string_view(framer_.Text(), LineFramer::kBufferSize - 2)));
                break;
        }
    }
}

}  // namespace omblor::update
