#include "app/ProvisioningRecord.h"

namespace kv::app {

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + '"';
}

bool ProvisioningRecord::Scanned(const std::string& custom1, const std::string& custom2, const std::string& when,
                                 std::string& error) {
    bool ok = !pending_ || writeRow(when, "no: the next controller was scanned before it was read back", error);
    clear();
    custom1_ = custom1;
    custom2_ = custom2;
    return ok;
}

void ProvisioningRecord::AssetWritten(const std::string& asset) { asset_ = asset; }
void ProvisioningRecord::ClientWritten(const std::string& client) { client_ = client; }

bool ProvisioningRecord::ParamsWriteStarted(std::vector<WrittenValue> values, const std::string& when,
                                            std::string& error) {
    bool ok = true;
    // Written again before the first write was read back: both count, and
    // the scanned codes and set values stay for the second.
    if (pending_) ok = writeRow(when, "no: written again before it was read back", error);
    written_ = std::move(values);
    pending_ = true;
    sawClient_ = sawAsset_ = sawParams_ = false;
    read_ = {};
    readParams_.clear();
    return ok;
}

void ProvisioningRecord::Replied(link::Reply reply, const controller::Identity::Readings& now,
                                 const std::vector<int>& params) {
    if (!pending_) return;
    using link::Reply;
    switch (reply) {
        case Reply::FwVersion:
        case Reply::FwVersionSupported:
            read_.firmware = now.firmware;
            break;
        case Reply::Checksum:
        case Reply::Config:
            read_.checksum = now.checksum;
            break;
        case Reply::Params:
            sawParams_ = true;
            readParams_ = params;
            break;
        case Reply::Mac:
            read_.mac = now.mac;
            break;
        case Reply::Client:
            sawClient_ = true;
            read_.client = now.client;
            break;
        case Reply::Asset:
            sawAsset_ = true;
            read_.asset = now.asset;
            break;
        default: break;
    }
}

// "yes", or what was written but not read back: "no: asset, client, P012".
std::string ProvisioningRecord::verified() const {
    std::vector<std::string> differ;
    if (asset_ && (!sawAsset_ || read_.asset != *asset_)) differ.push_back("asset");
    if (client_ && (!sawClient_ || read_.client != *client_)) differ.push_back("client");
    for (std::size_t k = 0; k < written_.size(); ++k)
        if (!sawParams_ || k >= readParams_.size() || readParams_[k] != written_[k].value)
            differ.push_back("P" + written_[k].id);
    if (differ.empty()) return "yes";
    std::string text = "no: ";
    for (std::size_t i = 0; i < differ.size(); ++i) text += (i ? ", " : "") + differ[i];
    return text;
}

bool ProvisioningRecord::writeRow(const std::string& when, const std::string& verified, std::string& error) {
    auto trimmed = [](std::string s) {
        while (!s.empty() && s.back() == ' ') s.pop_back();
        return s;
    };
    const std::string fields[] = {when,
                                  read_.mac,
                                  read_.mac,
                                  trimmed(read_.checksum),
                                  read_.firmware,
                                  read_.asset,
                                  read_.client,
                                  custom1_,
                                  custom2_,
                                  verified};
    lastRow_.clear();
    for (std::size_t i = 0; i < std::size(fields); ++i) lastRow_ += (i ? "," : "") + csvField(fields[i]);
    return file_.writeLine(lastRow_, error);
}

bool ProvisioningRecord::Identified(const std::string& when, std::string& error) {
    if (!pending_) return true;
    bool ok = writeRow(when, verified(), error);
    clear();
    return ok;
}

bool ProvisioningRecord::Flush(const std::string& when, std::string& error) {
    if (!pending_) return true;
    bool ok = writeRow(when, "no: not identified after its restart", error);
    clear();
    return ok;
}

void ProvisioningRecord::clear() {
    pending_ = false;
    asset_.reset();
    client_.reset();
    custom1_.clear();
    custom2_.clear();
    written_.clear();
    sawClient_ = sawAsset_ = sawParams_ = false;
    read_ = {};
    readParams_.clear();
}

}  // namespace kv::app
