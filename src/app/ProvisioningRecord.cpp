#include "app/ProvisioningRecord.h"

#include <algorithm>

#include "platform/Files.h"

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

std::vector<std::string> csvFields(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (quoted) {
            if (c != '"') fields.back() += c;
            else if (i + 1 < line.size() && line[i + 1] == '"') fields.back() += '"', ++i;
            else quoted = false;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else if (c != '\r') {
            fields.back() += c;
        }
    }
    return fields;
}

namespace {
constexpr std::size_t kAssetField = 5, kMacField = 2, kFields = 10;
// Record files of earlier runs larger than this (some 400 000 rows) are not
// read for their assets.
constexpr std::size_t kMaxEarlierFileBytes = 64 * 1024 * 1024;
}

bool ProvisioningRecord::create(const std::filesystem::path& folder, const std::string& stamp, std::string& error) {
    // The assets of earlier runs, from the record files already in the folder
    // (a row broken over lines by a quoted line break is read as its parts;
    // none of them has ten fields but the whole).
    std::error_code ec;
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        std::string name = entry.path().filename().string();
        if (name.rfind("RECORD_", 0) == 0 && entry.path().extension() == ".csv") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    for (const auto& f : files) {
        std::string content, ignored;
        if (!platform::readWholeFile(f.string(), content, ignored, kMaxEarlierFileBytes)) continue;
        std::size_t start = content.find('\n');  // after the header
        while (start != std::string::npos && start < content.size()) {
            std::size_t end = content.find('\n', start + 1);
            auto fields = csvFields(content.substr(start + 1, end == std::string::npos ? end : end - start - 1));
            if (fields.size() == kFields && !fields[kAssetField].empty())
                assets_.push_back({fields[kAssetField], {fields[kMacField], fields[0], {}}});
            start = end;
        }
    }
    return file_.create(folder, stamp, error);
}

std::optional<ProvisioningRecord::AssetUse> ProvisioningRecord::assetUse(const std::string& asset) const {
    if (asset_ && *asset_ == asset) return AssetUse{subject_.mac, assetWhen_, {}};
    // The store holds every start's rows, and other stations' when shared;
    // the record files of this folder (some may be older than the store)
    // answer when it knows nothing or cannot be asked.
    std::optional<platform::StoredRow> row;
    if (std::string error; store_ && store_->lastWithAsset(asset, row, error) && row)
        return AssetUse{row->fields[platform::RecordStore::kMac], row->fields[0],
                        row->station == station_ ? std::string() : row->station};
    for (auto it = assets_.rbegin(); it != assets_.rend(); ++it)
        if (it->first == asset) return it->second;
    return std::nullopt;
}

bool ProvisioningRecord::Scanned(const std::string& custom1, const std::string& custom2, const std::string& when,
                                 std::string& error) {
    bool ok = writeReplaced(when, error);
    ok = (!touched_ ||
          writeRow(when, "no: the next controller was scanned before it was read back", Source::Notes, error)) &&
         ok;
    clear();
    // A scan is for the controller the technician has just put on the line,
    // which no identification has seen yet.
    expectNew_ = true;
    custom1_ = custom1;
    custom2_ = custom2;
    return ok;
}

void ProvisioningRecord::touch(const Readings& onLine) {
    if (!touched_) {
        subject_ = expectNew_ ? Readings{} : onLine;
        known_ = !subject_.mac.empty();
    }
    touched_ = true;
    // What was read before this write is no read-back of it.
    sawClient_ = sawAsset_ = sawParams_ = false;
    read_ = {};
    readParams_.clear();
}

void ProvisioningRecord::AssetWritten(const std::string& asset, const Readings& onLine, const std::string& when) {
    touch(onLine);
    asset_ = asset;
    assetWhen_ = when;
    assetUnsure_ = true;
}

void ProvisioningRecord::ClientWritten(const std::string& client, const Readings& onLine) {
    touch(onLine);
    client_ = client;
    clientSkipped_ = false;
    clientUnsure_ = true;
}

bool ProvisioningRecord::ParamsWriteStarted(std::vector<WrittenValue> values, const Readings& onLine,
                                            const std::string& when, std::string& error) {
    bool ok = true;
    // Written again before the first write was read back: both count, and
    // the scanned codes and set values stay for the second.
    if (!written_.empty()) ok = writeRow(when, "no: written again before it was read back", Source::Notes, error);
    touch(onLine);
    written_ = std::move(values);
    return ok;
}

void ProvisioningRecord::Replied(link::Reply reply, const Readings& now, const std::vector<int>& params,
                                 bool check) {
    using link::Reply;
    // A skipped client counts for the controller about to be written to too.
    if (reply == Reply::ClientNotSent) clientSkipped_ = !client_;
    if (!touched_) return;
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
            if (!written_.empty()) break;
            if (check) {
                // Asked right after a write: the writes since the last check
                // reached this controller.
                if (known_ && now.mac != subject_.mac) handOver(now.mac);
                assetUnsure_ = clientUnsure_ = false;
            } else if (known_) {
                break;  // an identification: its read-back says whether it is the same
            }
            subject_.mac = now.mac;
            known_ = true;
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

// "yes", or what was not written or not read back as written:
// "no: no client chosen, P012".
std::string ProvisioningRecord::verified() const {
    std::vector<std::string> differ;
    if (!asset_) differ.push_back("asset not written");
    else if (!sawAsset_ || read_.asset != *asset_) differ.push_back("asset");
    if (!cutFrom_.empty())
        differ.push_back("asset cut to 15 of the " + std::to_string(cutFrom_.size()) + " characters of " + cutFrom_);
    if (!client_) differ.push_back(clientSkipped_ ? "no client chosen" : "client not written");
    else if (!sawClient_ || read_.client != *client_) differ.push_back("client");
    if (written_.empty()) differ.push_back("parameters not written");
    for (std::size_t k = 0; k < written_.size(); ++k)
        // The read's i-th value is parameter i + 1.
        if (const int n = written_[k].number;
            !sawParams_ || n < 1 || std::size_t(n) > readParams_.size() || readParams_[std::size_t(n) - 1] != written_[k].value)
            differ.push_back("P" + written_[k].id);
    if (differ.empty()) return "yes";
    std::string text = "no: ";
    for (std::size_t i = 0; i < differ.size(); ++i) text += (i ? ", " : "") + differ[i];
    return text;
}

std::vector<std::string> ProvisioningRecord::replacedFields(const std::string& when) const {
    const Readings& r = subject_;
    std::string asset = asset_ && !assetUnsure_ ? *asset_ : r.asset;
    std::string client = client_ && !clientUnsure_ ? *client_ : r.client;
    return {when, r.mac, r.mac, r.checksum, r.firmware, asset, client, custom1_, custom2_,
            "no: replaced before its read-back"};
}

void ProvisioningRecord::handOver(const std::string& mac) {
    // A row only for a controller something is known to have reached.
    if ((asset_ && !assetUnsure_) || (client_ && !clientUnsure_)) replaced_.push_back(replacedFields(""));
    // The newcomer keeps what went to it since the last MAC, and none of the
    // codes scanned for the other.
    if (!assetUnsure_) asset_.reset();
    if (!clientUnsure_) client_.reset();
    subject_ = Readings{};
    subject_.mac = mac;
    custom1_.clear();
    custom2_.clear();
    cutFrom_.clear();
}

bool ProvisioningRecord::writeReplaced(const std::string& when, std::string& error) {
    bool ok = true;
    for (auto& fields : replaced_) {
        fields[0] = when;
        std::string e;
        if (!writeFields(fields, e) && ok) {
            ok = false;
            error = e;
        }
    }
    replaced_.clear();
    return ok;
}

bool ProvisioningRecord::writeRow(const std::string& when, const std::string& verified, Source source,
                                  std::string& error) {
    // Not read back: the controller as identified before its writes, with
    // the asset and client that went to it. Replaced: only the asset is
    // known to have gone to it (its MAC was asked right after); the client
    // may have gone to the next one.
    if (source == Source::Replaced) return writeFields(replacedFields(when), error);
    const bool readBack = source == Source::ReadBack;
    // A row not read back still says which label its asset was cut from.
    std::string why = verified;
    if (!readBack && !cutFrom_.empty())
        why += "; asset cut to 15 of the " + std::to_string(cutFrom_.size()) + " characters of " + cutFrom_;
    const Readings& r = readBack ? read_ : subject_;
    std::string asset = readBack || !asset_ ? r.asset : *asset_;
    std::string client = readBack || !client_ ? r.client : *client_;
    return writeFields({when, r.mac, r.mac, r.checksum, r.firmware, asset, client, custom1_, custom2_, why}, error);
}

bool ProvisioningRecord::writeFields(std::vector<std::string> fields, std::string& error) {
    // The checksum as the controller shows it ends with a blank.
    while (!fields[3].empty() && fields[3].back() == ' ') fields[3].pop_back();
    lastRow_.clear();
    for (std::size_t i = 0; i < fields.size(); ++i) lastRow_ += (i ? "," : "") + csvField(fields[i]);
    if (!fields[kAssetField].empty()) assets_.push_back({fields[kAssetField], {fields[kMacField], fields[0], {}}});
    bool ok = file_.writeLine(lastRow_, error);
    if (store_) {
        platform::StoredRow row{0, station_, platform::isoFromLogTime(fields[0]), fields};
        if (std::string why; !store_->add(row, why)) storeFailed_.call(store_->location(), why, lastRow_);
        else stored_.call();
    }
    return ok;
}

bool ProvisioningRecord::Identified(const std::string& when, bool provisioning, std::string& error) {
    if (!touched_) return true;
    if (known_ && !read_.mac.empty() && read_.mac != subject_.mac) {
        // Another controller answered: the one written to was taken off the
        // line before its read-back.
        bool ok = writeReplaced(when, error);
        ok = writeRow(when, "no: replaced before its read-back", Source::Replaced, error) && ok;
        std::string before = subject_.mac;
        bool reached = !written_.empty();
        Readings newcomer = read_;
        clear();
        if (!reached) return ok;  // the writes still to come go to the newcomer
        std::string why = "no: put on the line during the writes to " + before;
        std::string more;
        bool newcomerOk = writeFields({when, newcomer.mac, newcomer.mac, newcomer.checksum, newcomer.firmware,
                                       newcomer.asset, newcomer.client, "", "", why},
                                      more);
        if (ok && !newcomerOk) error = more;
        return ok && newcomerOk;
    }
    if (written_.empty() && provisioning) return true;  // its writes go on
    bool ok = writeReplaced(when, error);
    ok = writeRow(when, verified(), Source::ReadBack, error) && ok;
    clear();
    return ok;
}

bool ProvisioningRecord::Flush(const std::string& when, const std::string& why, std::string& error) {
    bool ok = writeReplaced(when, error);
    if (!touched_) return ok;
    ok = writeRow(when, why, Source::Notes, error) && ok;
    clear();
    return ok;
}

void ProvisioningRecord::clear() {
    touched_ = false;
    known_ = expectNew_ = false;
    assetUnsure_ = clientUnsure_ = false;
    subject_ = {};
    asset_.reset();
    client_.reset();
    assetWhen_.clear();
    cutFrom_.clear();
    clientSkipped_ = false;
    custom1_.clear();
    custom2_.clear();
    written_.clear();
    sawClient_ = sawAsset_ = sawParams_ = false;
    read_ = {};
    readParams_.clear();
}

}  // namespace kv::app
