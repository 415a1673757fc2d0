#include "transfer/xmodem_replies.h"

#include "transfer/xmodem.h"

namespace quillon {

namespace {

// Nobody takes them outside an upload; only the newest are kept.
constexpr qsizetype kKeptReplies = 64 * 1024;

bool isReply(char c) {
    return c == xmodem::kAck || c == xmodem::kNak || c == xmodem::kCan;
}

} // namespace

void XmodemReplies::take(const QByteArray& chunk, Clock::time_point at) {
    for (const char c : chunk) {
        if (isReply(c))
            replies_.append({c, at});
        else if (!replies_.isEmpty() && replies_.constLast().byte == xmodem::kCan)
            replies_.append({'\0', at}); // two CANs apart are not "in a row"
    }
    if (replies_.size() > kKeptReplies)
        replies_.remove(0, replies_.size() - kKeptReplies / 2);
}

bool XmodemReplies::holdsCancelPair() const {
    for (qsizetype i = 1; i < replies_.size(); ++i)
        if (replies_.at(i - 1).byte == xmodem::kCan && replies_.at(i).byte == xmodem::kCan)
            return true;
    return false;
}

QByteArray XmodemReplies::bytes() const {
    QByteArray result;
    for (const TransferReply& reply : replies_)
        result.append(reply.byte);
    return result;
}

} // namespace quillon
