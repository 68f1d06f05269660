#include "controller/AssetCheck.h"

#include "platform/RecordStore.h"

namespace kv::controller {

void AssetCheck::Check(const std::string& label, const std::string& title, Take take,
                       std::function<void()> declined) {
    Cancel();
    if (label.size() <= kMaxAsset) return checkRepeat(label, "", title, std::move(take), std::move(declined));
    const std::string most = std::to_string(kMaxAsset);
    std::string first = label.substr(0, kMaxAsset);
    ask("The asset " + label + " has " + std::to_string(label.size()) + " characters; a controller holds " + most +
            ". Scan again, or write its first " + most + ", " + first + "?",
        title, {"Scan again", "Write the first " + most},
        [this, label, first, title, take = std::move(take), declined = std::move(declined)](int answer) {
            if (answer == 1) checkRepeat(first, label, title, take, declined);
            else if (declined) declined();
        });
}

void AssetCheck::checkRepeat(const std::string& asset, const std::string& cutFrom, const std::string& title,
                             Take take, std::function<void()> declined) {
    auto local = history_.assetUse(asset);
    const int check = ++asking_;
    // The shared record knows every station's rows; this station's own
    // answer stands in when it cannot be asked.
    bool asked = history_.askShared(asset, [=, this](const std::optional<AssetHistory::Use>& shared,
                                                     const std::string& error) {
        if (check != asking_ || !waiting_) return;  // a later check, or cancelled
        waiting_ = false;
        if (!error.empty())
            decide(local, "\n(The shared record could not be asked: " + error + ".)", asset, cutFrom, title, take,
                   declined);
        else
            decide(shared ? shared : local, "", asset, cutFrom, title, take, declined);
    });
    if (asked) {
        waiting_ = true;
        return;
    }
    decide(local, "", asset, cutFrom, title, std::move(take), std::move(declined));
}

void AssetCheck::decide(const std::optional<AssetHistory::Use>& use, const std::string& note,
                        const std::string& asset, const std::string& cutFrom, const std::string& title, Take take,
                        std::function<void()> declined) {
    auto agree = [this, asset, cutFrom, take] {
        approved_ = asset;
        cutFrom_ = cutFrom;
        take(asset, cutFrom);
    };
    if (!use) return agree();
    // "hh:mm:ss dd/MM/yyyy": the time, and the day when it was not today;
    // another station's row by its name and its whole date.
    std::string when = use->when.substr(0, 5);
    std::string today = platform::formatLogTime(clock_.now()).substr(9);
    if (!use->station.empty())
        when = "station " + use->station + ", " + platform::isoFromLogTime(use->when).substr(0, 16);
    else if (use->when.size() > 9 && use->when.substr(9) != today)
        when += " on " + use->when.substr(9);
    ask("Asset " + asset + " was written to controller " + use->mac + " at " + when +
            ". Write it to this controller too?" + note,
        title, {"No", "Yes"}, [agree, declined = std::move(declined)](int answer) {
            if (answer == 1) agree();
            else if (declined) declined();
        });
}

void AssetCheck::ask(const std::string& text, const std::string& title, std::vector<std::string> buttons,
                     std::function<void(int)> then) {
    question_ = messageBox_.ask(text, platform::MsgIcon::Question, title, buttons,
                                [this, then = std::move(then)](int answer) {
                                    question_ = 0;
                                    then(answer);
                                });
}

void AssetCheck::Cancel() {
    messageBox_.close(question_);
    question_ = 0;
    waiting_ = false;
}

}  // namespace kv::controller
