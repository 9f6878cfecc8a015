#include "listener/request.h"

#include "engine/codec/long_message.h"
#include "platform/codepage.h"
#include "store/text.h"

namespace tavrel {

const std::string& ReplyText(ReplyCode code) {
  static const std::string accepted = Gbk("0000|数据接收成功，服务正常！|");
  static const std::string bad_request = Gbk("0001|数据有误，请检查数据格式.|");
  static const std::string server_fault =
      Gbk("0002|服务器设备或系统有误，请通知服务器管理员，或与有关人员联系.|");
  switch (code) {
    case ReplyCode::Accepted: return accepted;
    case ReplyCode::BadRequest: return bad_request;
    case ReplyCode::ServerFault: break;
  }
  return server_fault;
}

std::string PaddedReply(ReplyCode code) {
  std::string reply = ReplyText(code);
  reply.resize(kReplySize, '\0');
  return reply;
}

Request ParseRequest(std::string_view received) {
  received = received.substr(0, kRequestSize);
  if (auto zero = received.find('\0'); zero != std::string_view::npos) {
    received = received.substr(0, zero);
  }
  Request request;
  request.code = SplitField(received, 1, '|').field;
  request.numbers = SplitField(received, 2, '|').field;
  SplitResult text = SplitField(received, 3, '|');
  request.text = text.field;
  request.shown = text.field;
  // Only field 3's result decides: with fewer than three separators the
  // first two fields may still have been found, but the request is short.
  request.well_formed = text.result == 0 && !request.code.empty() &&
                        request.code.size() < kCodeFieldSize &&
                        !request.numbers.empty() && !request.text.empty();
  return request;
}

bool TextFitsParts(std::string_view text, int parts_limit) {
  return parts_limit <= 1 || MeasureMessage(text, parts_limit).fits;
}

}  // namespace tavrel
