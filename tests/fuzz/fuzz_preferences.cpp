// Opens arbitrary bytes as the filter's settings store "plugin.conf" the way Start opens it, reads
// what the windows read from it, writes what they write when they close, and closes it; then the
// next run opens it again, twice over. Every open must succeed (a store that does not open is
// kept aside as it was), a file that was written must carry its digest, and every value a write
// stored must read back.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "framework/core/qwf_storage.h"
#include "plugin/core/qw_pluginmain.h"
#include "plugin/main/knife_export.h"
#include "plugin/main/piece_export.h"
#include "plugin/main/view_preferences.h"
#include "plugin/windows/auto_layout_model.h"
#include "plugin/windows/custom_mutations_model.h"
#include "tests/fuzz/fuzz_support.h"

using qwfuzz::Check;

namespace {
// A value written in a session and what came of the write.
struct Written {
    std::string key;
    uint8_t kind;
    double number;
};

// The plug-in object of a run with its store open.
struct Run {
    CPluginMain plugin;
    CQWF_Storage* store = nullptr;
    Run()
    {
        plugin.GetDataFolder() = CQWF_String(qwp::ToWindowsPath(qwfuzz::Folder().c_str()).c_str());
        Check(plugin.LoadPreferences("plugin.conf"));
        store = plugin.GetPreferences();
        Check(store != nullptr && store->IsOpen() && !store->IsReadOnly());
    }
};

// The settings the windows keep: read when they open, changed by the user, written when they
// close.
struct Settings {
    ViewPreferences prefs;
    PieceExportOptions pieces;
    KnifeExportOptions knives;
    CAutoLayoutModel autoLayout;
    CCustomMutationsModel mutations;
};

void ReadAsTheWindowsDo(Run& run, Settings& settings)
{
    qwpref::ReadPreferences(run.store, settings.prefs);
    int32_t x = 0, y = 0;
    for (const char* name : {"ROOT", "Cutter"}) {
        run.plugin.GetWindowPosition("Main", name, x, y);
        Check((x == -32000 && y == -32000) || (x >= -100 && x <= 7000 && y >= -10 && y <= 6000));
    }
    qwexport::LoadPieceExportOptions(run.store, settings.pieces);
    qwexport::LoadKnifeExportOptions(run.store, settings.knives);
    settings.autoLayout.LoadSettings(run.store);
    settings.mutations.LoadSettings(run.store);
    uint8_t link = 0;
    run.store->GetByte("Cutter Settings>LinkRC", link);
}

// With values of the session; the Cutter's last shape is written here as the Cutter writes it,
// and every value a write reported stored is listed.
void WriteAsTheWindowsDo(Run& run, Settings& settings, int session, std::vector<Written>& written)
{
    settings.prefs.delKnifeOpacity = static_cast<uint8_t>(40 + session);
    settings.prefs.alphaColor1 = 0xFF102030u + static_cast<uint32_t>(session);
    qwpref::WritePreferences(run.store, settings.prefs);
    run.plugin.SaveWindowPosition("Main", "ROOT", 100 + session, 50 + session);
    run.plugin.SaveWindowPosition("Main", "Cutter", 700 + session, 60);
    settings.pieces.exportWhat = static_cast<uint8_t>(1 + session % 3);
    qwexport::SavePieceExportOptions(run.store, settings.pieces);
    qwexport::SaveKnifeExportOptions(run.store, settings.knives);
    settings.autoLayout.SaveSettings(run.store);
    settings.mutations.SetAmount(CCustomMutationsModel::kH, 0.25f * static_cast<float>(session));
    settings.mutations.SaveSettings(run.store);
    CQWF_Storage& s = *run.store;
    s.SetByte("Cutter Settings>LinkRC", static_cast<uint8_t>(session & 1));
    s.ClearError();

    const int nodes = 3 + session;
    auto track = [&written](bool ok, const char* key, uint8_t kind, double value) {
        if (ok) written.push_back({key, kind, value});
    };
    s.CreateFolder("LastShape");
    track(s.SetWord("LastShape>NodesCount", static_cast<uint16_t>(nodes)), "LastShape>NodesCount",
          CQWF_Storage::kKindWord, nodes);
    char key[32];
    for (int i = 0; i < nodes; ++i) {
        for (char which : {'H', 'U', 'S'}) {
            std::snprintf(key, sizeof key, "LastShape>%c%d", which, i);
            const double value = 0.125 * i + (which == 'H' ? -0.5 : 0.0) + 0.01 * session;
            track(s.SetDouble(key, value), key, CQWF_Storage::kKindDouble, value);
        }
    }
}

// A new run reads back what a write stored (a later write of the same key wins).
void CheckWritten(CQWF_Storage& store, const std::vector<Written>& written)
{
    for (size_t i = 0; i < written.size(); ++i) {
        bool later = false;
        for (size_t k = i + 1; k < written.size(); ++k) later = later || written[k].key == written[i].key;
        if (later) continue;
        const Written& w = written[i];
        if (w.kind == CQWF_Storage::kKindWord) {
            uint16_t v = 0;
            Check(store.GetWord(w.key.c_str(), v) && v == w.number);
        } else {
            double v = 0;
            Check(store.GetDouble(w.key.c_str(), v) && v == w.number);
        }
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string file = qwfuzz::HostPath("plugin.conf");
    const std::string aside = file + CQWF_8BFPluginVirtual::kKeptAsideSuffix;
    std::remove(aside.c_str());
    Check(qwfuzz::WriteFile(file, data, size));
    std::vector<Written> written;
    for (int session = 0; session < 3; ++session) {
        Run run;
        // A store that did not open was kept aside whole before an empty one took its name.
        std::vector<uint8_t> kept;
        if (session == 0 && qwfuzz::ReadFile(aside, kept)) Check(kept == std::vector<uint8_t>(data, data + size));
        CheckWritten(*run.store, written);
        Settings settings;
        ReadAsTheWindowsDo(run, settings);
        if (session == 2) break;
        written.clear();
        WriteAsTheWindowsDo(run, settings, session + 1, written);
        Check(run.store->Close());
        // A file that was written is a whole package again (one that was not keeps its bytes,
        // whatever its digest).
        CQWF_Storage check;
        if (!written.empty()) Check(check.VerifyFile(CQWF_String(qwfuzz::WindowsPath("plugin.conf").c_str())));
    }
    return 0;
}
