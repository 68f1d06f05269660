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
    auto agree = [this, asset, cutFrom, take] {
        approved_ = asset;
        cutFrom_ = cutFrom;
        take(asset, cutFrom);
    };
    auto use = history_.assetUse(asset);
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
            ". Write it to this controller too?",
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
}

}  // namespace kv::controller
