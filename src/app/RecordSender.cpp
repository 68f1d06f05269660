#include "app/RecordSender.h"

#include <memory>

namespace kv::app {

RecordSender::RecordSender(ui::Window& form)
    : tmrSendRecords(form.timer("tmrSendRecords")),
      tmrAskShared(form.timer("tmrAskShared")),
      lblRecords(form.label("lblRecords")) {
    tmrSendRecords.setEnabled(false);
    tmrSendRecords.onTick = [this] { tmrSendRecords_Timer(); };
    tmrAskShared.setEnabled(false);
    tmrAskShared.setInterval(kAskMs);
    tmrAskShared.onTick = [this] {
        tmrAskShared.setEnabled(false);
        if (Answer a = std::move(answer_)) {
            answer_ = nullptr;
            a(std::nullopt, "it did not answer within a second");
        }
    };
    lblRecords.setCaption("");
}

void RecordSender::start(platform::RecordStore& local, platform::RecordServer* server) {
    local_ = &local;
    server_ = server;
    ++generation_;
    inFlight_ = false;
    answer_ = nullptr;
    tmrAskShared.setEnabled(false);
    lastError_.clear();
    waiting_ = 0;
    if (server_) rowAdded();
    else tmrSendRecords.setEnabled(false);
    show();
}

bool RecordSender::askShared(const std::string& asset, Answer answer) {
    if (!server_) return false;
    const int question = ++asked_;
    answer_ = std::move(answer);
    tmrAskShared.setEnabled(false);
    tmrAskShared.setEnabled(true);
    server_->lastWithAsset(asset, [this, question](const std::optional<platform::StoredRow>& row,
                                                   const std::string& error) {
        if (question != asked_ || !answer_) return;  // answered late: the time-out spoke
        tmrAskShared.setEnabled(false);
        Answer a = std::move(answer_);
        answer_ = nullptr;
        a(row, error);
    });
    return true;
}

bool RecordSender::findShared(const platform::RowFilter& filter, RowsAnswer answer) {
    if (!server_) return false;
    server_->find(filter, [this, generation = generation_, answer = std::move(answer)](
                              std::vector<platform::StoredRow> rows, const std::string& error) {
        if (generation == generation_) answer(std::move(rows), error);
    });
    return true;
}

void RecordSender::rowAdded() {
    if (!local_ || !server_ || inFlight_) return;
    tmrSendRecords.setInterval(10);
    tmrSendRecords.setEnabled(true);
}

// One batch at a time, oldest first; the next pass comes when it is answered.
void RecordSender::tmrSendRecords_Timer() {
    tmrSendRecords.setEnabled(false);
    if (!local_ || !server_ || inFlight_) return;
    std::vector<platform::StoredRow> rows;
    std::string error;
    if (!local_->unsentCount(waiting_, error) || !local_->unsent(kBatch, rows, error)) {
        lastError_ = "the local store " + local_->location() + " cannot be read: " + error;
        tmrSendRecords.setInterval(kRetryMs);
        tmrSendRecords.setEnabled(true);
        show();
        return;
    }
    if (rows.empty()) {
        lastError_.clear();
        show();
        return;
    }
    inFlight_ = true;
    show();
    const std::int64_t last = rows.back().number;
    const std::size_t count = rows.size();
    server_->send(std::move(rows), [this, last, count, generation = generation_](const std::string& e) {
        if (generation == generation_) sent(last, count, e);
    });
}

void RecordSender::sent(std::int64_t last, std::size_t count, const std::string& error) {
    inFlight_ = false;
    std::string e = error;
    if (e.empty() && !local_->markSent(last, e)) e = "the local store " + local_->location() + ": " + e;
    if (!e.empty()) {
        // Waiting rows stay in the local store; the next try sends them again
        // and the server keeps each once.
        lastError_ = e;
        tmrSendRecords.setInterval(kRetryMs);
        tmrSendRecords.setEnabled(true);
        show();
        return;
    }
    lastError_.clear();
    waiting_ -= static_cast<std::int64_t>(count);
    if (waiting_ < 0) waiting_ = 0;
    rowAdded();  // the next batch, or the count brought up to date
    show();
}

void RecordSender::show() {
    std::string text;
    if (waiting_ > 0)
        text = "Records: " + std::to_string(waiting_) + " waiting for the server";
    lblRecords.setCaption(text);
    changed_.call();
}

}  // namespace kv::app
