#include "tools/skinc/skin_preview.h"

#include <algorithm>

#include "framework/core/qwf_file.h"
#include "framework/imaging/qwf_png.h"
#include "platform/qw_paths.h"

namespace skinc {

bool ComposeWindow(const Compiler& compiler, const WindowSummary& window, std::vector<uint8_t>& rgba)
{
    const PackageBuilder& package = const_cast<Compiler&>(compiler).Package();
    const size_t w = window.width, h = window.height, plane = w * h;
    rgba.assign(plane * 4, 0);
    for (size_t i = 0; i < window.restingLayers.size(); ++i) {
        const std::string& key = window.restingLayers[i];
        const PackageEntry* e = package.Find(key);
        if (!e || !e->image) return false;
        const Rect& r = e->rect;
        const size_t ew = r.Width(), ep = ew * r.Height();
        // A progress bar at half: its Data map hides what lies above 127.
        const PackageEntry* data = nullptr;
        if (key.rfind("UIResources>Progresses>", 0) == 0) data = package.Find(key.substr(0, key.size() - 7) + ">Data");
        for (int y = r.top; y < r.bottom; ++y) {
            for (int x = r.left; x < r.right; ++x) {
                if (x < 0 || y < 0 || x >= static_cast<int>(w) || y >= static_cast<int>(h)) continue;
                const size_t s = static_cast<size_t>(y - r.top) * ew + (x - r.left);
                const size_t d = static_cast<size_t>(y) * w + x;
                if (i == 0) {
                    // The background is the window: opaque inside its shape, absent outside.
                    for (int k = 0; k < 3; ++k) rgba[k * plane + d] = e->planes[k * ep + s];
                    rgba[3 * plane + d] = e->planes[3 * ep + s] > 128 ? 255 : 0;
                    continue;
                }
                unsigned a = e->planes[3 * ep + s];
                if (data && data->planes[s] > 127) a = 0;
                for (int k = 0; k < 3; ++k) {
                    uint8_t& out = rgba[k * plane + d];
                    out = static_cast<uint8_t>((e->planes[k * ep + s] * a + out * (255 - a) + 127) / 255);
                }
            }
        }
    }
    return true;
}

namespace {

bool WritePng(const std::string& winPath, int width, int height, const std::vector<uint8_t>& planes)
{
    const size_t plane = static_cast<size_t>(width) * height;
    QWF_PNGSettings s;
    s.width = static_cast<int16_t>(width);
    s.height = static_cast<int16_t>(height);
    s.mode = QWF_PNG_RGBA;
    for (int k = 0; k < 4; ++k) s.planes[k] = planes.data() + k * plane;
    s.stride = width;
    CQWF_StdFile f;
    CQWF_ImagePNG png;
    const bool ok = f.Open(winPath.c_str(), CQWF_StdFile::kModeWrite) && png.AttachFile(&f) && png.Write(s);
    f.Close();
    return ok;
}

}  // namespace

bool WriteElements(Compiler& compiler, const std::string& hostDir)
{
    const std::string winDir = qwp::ToWindowsPath(hostDir.c_str());
    if (!qwp::CreateFolders(winDir.c_str())) {
        compiler.Diag().Error("cannot create the folder " + hostDir);
        return false;
    }
    for (const PackageEntry& e : compiler.Package().Entries()) {
        if (!e.image) continue;
        std::string name = e.key;
        std::replace(name.begin(), name.end(), '>', '~');
        if (!WritePng(winDir + "\\" + name + ".png", e.rect.Width(), e.rect.Height(), e.planes)) {
            compiler.Diag().Error("cannot write " + hostDir + "/" + name + ".png");
            return false;
        }
    }
    return true;
}

bool WritePreviews(Compiler& compiler, const std::string& hostDir)
{
    const std::string winDir = qwp::ToWindowsPath(hostDir.c_str());
    if (!qwp::CreateFolders(winDir.c_str())) {
        compiler.Diag().Error("cannot create the folder " + hostDir);
        return false;
    }
    for (const WindowSummary& window : compiler.Windows()) {
        std::vector<uint8_t> rgba;
        if (!ComposeWindow(compiler, window, rgba)) {
            compiler.Diag().Error("cannot compose the window " + window.name);
            return false;
        }
        if (!WritePng(winDir + "\\" + window.name + ".png", window.width, window.height, rgba)) {
            compiler.Diag().Error("cannot write " + hostDir + "/" + window.name + ".png");
            return false;
        }
    }
    return true;
}

}  // namespace skinc
