// The parameter definition file and a saved parameter file, both of any
// content, read by the main window as the technician's program does: the
// table keeps its row count within its boxes, every shown value is text the
// box can hold, and what would be written is a number the controller reads.
// Messages are as many as the rows a file holds out of their limits.
// The first input byte chooses which file the rest is.
#include <cstdlib>
#include <cstdio>
#include <memory>

#include "tests/support/Rig.h"

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

void write(const std::filesystem::path& p, const std::string& content) {
    std::FILE* f = std::fopen(p.string().c_str(), "wb");
    if (!f) fail("cannot write the input file");
    std::fwrite(content.data(), 1, content.size(), f);
    std::fclose(f);
}

kv::test::Rig& rig() {
    static std::unique_ptr<kv::test::Rig> r = [] {
        auto made = std::make_unique<kv::test::Rig>();
        made->load();
        return made;
    }();
    return *r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > 20000) return 0;
    kv::test::Rig& r = rig();
    auto& m = *r.main;
    std::string content(reinterpret_cast<const char*>(data + 1), size - 1);
    r.messages.shown.clear();
    if (data[0] % 2 == 0) {
        write(std::filesystem::path(r.folders.programPath) / "KV5x_Params.txt", content);
        m.params.ClearRows();
        m.paramFiles.ReadZMCConfigFile();
    } else {
        std::filesystem::path saved = std::filesystem::path(r.folders.documentsPath) / "KV53_ParamFiles" / "fuzz.csv";
        write(saved, content);
        r.fileDialog.answer = saved.string();
        m.paramFiles.mOpnFile_Click();
    }
    if (m.params.iParamCount < 0 || m.params.iParamCount > kv::params::ParamTable::kRows) fail("row count");
    for (int k = 0; k < m.params.iParamCount; ++k) {
        std::string problem;
        if (auto t = m.params.writeTriple(k, problem)) {
            if (t->high > 0x7F) fail("a value the controller cannot read");
        }
        if (m.params.txtParam(k).text().size() > 400) fail("a shown value longer than any number");
    }
    // The table is written as the program would: nothing may go out of range.
    m.bulkWrite.cdmSetParams.press();
    r.clock.advance(20000);
    return 0;
}
