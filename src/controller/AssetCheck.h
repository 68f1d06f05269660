#pragma once
// The questions before an asset goes to a controller, wherever it was
// entered (the scan dialog, the main window's asset box, SET ASSET): a label
// longer than a controller holds is never cut without the technician's word,
// and an asset written before is written again only when they say so.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "platform/Clock.h"
#include "platform/Desktop.h"

namespace kv::controller {

// Where an asset went before, as the record knows it: a controller's MAC,
// the time of its row ("hh:mm:ss dd/MM/yyyy") and the station that wrote it
// when it was another.
class AssetHistory {
public:
    struct Use {
        std::string mac, when, station;
    };
    // The last controller `asset` was written to. (The controller on the line
    // when a label is scanned is not known yet: in a batch it has just been
    // put there.)
    virtual std::optional<Use> assetUse(const std::string& asset) const = 0;
    // Asks the record several stations share where `asset` went; `answer`
    // comes later, from the event loop, within a second: the use (nothing
    // when none), or why the shared record could not be asked. False, and no
    // answer, when there is no shared record.
    using SharedAnswer = std::function<void(const std::optional<Use>&, const std::string& error)>;
    virtual bool askShared(const std::string& asset, SharedAnswer answer) = 0;

protected:
    ~AssetHistory() = default;
};

class AssetCheck {
public:
    // The longest asset the set request carries.
    static constexpr std::size_t kMaxAsset = 15;

    AssetCheck(platform::MessageBox& messageBox, const platform::Clock& clock, AssetHistory& history)
        : messageBox_(messageBox), clock_(clock), history_(history) {}
    AssetCheck(const AssetCheck&) = delete;
    AssetCheck& operator=(const AssetCheck&) = delete;

    // The asset to write, and the whole label when it is the label's first
    // 15 characters.
    using Take = std::function<void(const std::string& asset, const std::string& cutFrom)>;
    // Asks what `label` needs asked (at once, when nothing), then calls
    // `take`, or `declined` when the technician declines. Returns at once.
    void Check(const std::string& label, const std::string& title, Take take, std::function<void()> declined);
    bool asking() const { return question_ != 0 || waiting_; }
    // Takes an open question down; it never answers.
    void Cancel();

    // The technician has agreed to `asset` (nothing needed asking, or they
    // said yes): writing it asks nothing more.
    bool approved(const std::string& asset) const { return !approved_.empty() && asset == approved_; }
    // The label whose first 15 characters `asset` is, by the technician's choice.
    std::optional<std::string> cutFrom(const std::string& asset) const {
        if (approved(asset) && !cutFrom_.empty()) return cutFrom_;
        return std::nullopt;
    }

private:
    void checkRepeat(const std::string& asset, const std::string& cutFrom, const std::string& title, Take take,
                     std::function<void()> declined);
    // Asks about the use found, if any; `note` is added to the question.
    void decide(const std::optional<AssetHistory::Use>& use, const std::string& note, const std::string& asset,
                const std::string& cutFrom, const std::string& title, Take take, std::function<void()> declined);
    void ask(const std::string& text, const std::string& title, std::vector<std::string> buttons,
             std::function<void(int)> then);

    platform::MessageBox& messageBox_;
    const platform::Clock& clock_;
    AssetHistory& history_;
    platform::MessageId question_ = 0;
    std::string approved_, cutFrom_;
    int asking_ = 0;        // the check the shared record's answer belongs to
    bool waiting_ = false;  // that answer is awaited
};

}  // namespace kv::controller
