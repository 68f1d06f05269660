#include "params/ParamRead.h"

#include <array>
#include <string>
#include <vector>

#include "link/Requests.h"
#include "ui/Text.h"

namespace kv::params {

ParamRead::ParamRead(ui::Window& form, link::ReceivePath& receive, link::ConnectionSequence& sequence,
                     ParamTable& table)
    : cmdGetParams(form.button("cmdGetParams")), receive_(receive), table_(table) {
    sequence.listenStarted([this] { clearValues(); });
    cmdGetParams.setCaption("Read  PARAMS");
    cmdGetParams.setVisible(false);
    cmdGetParams.onClick = [this] { cmdGetParams_Click(); };
    // Not pressed again while a reply is being taken in.
    receive_.listenTaking([this](bool taking) { cmdGetParams.setEnabled(!taking); });
    receive_.setHandler(link::cmdReadParams, [this](std::int16_t n) { ParseMsgGetParam(n); });
    receive_.setHandler(link::cmdWriteParams, [this](std::int16_t n) { ParseMsgParamResponse(n); });
}

void ParamRead::cmdGetParams_Click() {
    if (receive_.portOpen()) clearValues();
    receive_.SendRequest(link::query<link::cmdReadParams>(table_.profile()));
}

// The table shows what the controller on the line answers, or nothing: never
// the values of a read before, which may be another controller's (a bulk
// write would send them to this one).
void ParamRead::clearValues() {
    for (int k = 0; k < table_.iParamCount && k < ParamTable::kRows; ++k) table_.txtParam(k).setText("");
}

void ParamRead::ParseMsgGetParam(std::int16_t n) {
    std::string dump;
    bool answered = false;
    lastRead_.clear();
    int k = 0;
    std::vector<bool> filled(ParamTable::kRows, false);
    // Where each parameter's value goes (k + 1 below 256: at most kRows values).
    const std::array<int, 256> rowOf = table_.rowsByNumber();
    if (int first = rowOf[1]; first >= 0) table_.txtParam(first).setText("");
    else if (table_.iParamCount == 0) table_.txtParam(0).setText("");
    table_.BeginLimitReport();
    for (int i = 1; i <= n - 3 && i < link::ReceivePath::kBufferEnd; ++i) {
        if (i > 3) {
            // A value, high byte first; i moves on to its low byte.
            int v = receive_.Byte(i) * 256 + receive_.Byte(i + 1);
            ++i;
            lastRead_.push_back(v);
            // The k-th value is parameter k + 1 (the request asks for them in
            // order); it goes to that parameter's row wherever the definition
            // file lists it. A parameter no loaded row holds is not shown.
            if (int r = rowOf[std::size_t(k + 1)]; r >= 0) {
                table_.row(r).sParamValue = std::to_string(v);
                table_.row(r).sParamFileValue = std::to_string(v);
                table_.SetParamFormat(table_.txtParam(r), std::to_string(v), static_cast<std::int16_t>(r));
                table_.txtParam(r).setVisible(true);
                filled[std::size_t(r)] = true;
            }
            ++k;
            if (k > ParamTable::kRows - 1) break;
            // The box the next value fills.
            if (int next = rowOf[std::size_t(k + 1)]; next >= 0) table_.txtParam(next).setText("");
            else if (k >= table_.iParamCount) table_.txtParam(k).setText("");
        }
        dump += " " + ui::hex2(receive_.Byte(i));
        answered = true;
    }
    // A reply that came back short gave no value for the rows of the
    // parameters after its last: they are emptied rather than left showing
    // another controller's values, which a bulk write would then send to
    // this one.
    for (int r = 0; r < table_.iParamCount && r < ParamTable::kRows; ++r)
        if (!filled[std::size_t(r)]) table_.txtParam(r).setText("");
    table_.EndLimitReport("The controller");
    receive_.Text1.setText(dump);
    if (answered) receive_.Replied(link::Reply::Params);
}

void ParamRead::ParseMsgParamResponse(std::int16_t n) {
    receive_.WriteDump(n);
    receive_.Replied(link::Reply::ParamAck);
}

}  // namespace kv::params
