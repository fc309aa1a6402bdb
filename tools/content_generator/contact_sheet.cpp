#include "font.h"
#include "generator.h"
#include "png_file.h"

#include <algorithm>
#include <fstream>

void WriteContactSheet(const std::string& hostPath, const std::vector<std::pair<std::string, Image>>& pictures) {
    const int cell = 200, label = 28, columns = 8;
    int rows = int((pictures.size() + columns - 1) / columns);
    Image sheet(columns * cell, rows * (cell + label), MakeRgba(48, 48, 56));
    for (size_t i = 0; i < pictures.size(); ++i) {
        const Image& src = pictures[i].second;
        int cx = int(i % columns) * cell, cy = int(i / columns) * (cell + label);
        float scale = std::min(1.0f, std::min(float(cell - 8) / src.width, float(cell - 8) / src.height));
        int w = std::max(1, int(src.width * scale)), h = std::max(1, int(src.height * scale));
        // a checkerboard shows transparency
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                bool dark = ((x / 8) + (y / 8)) % 2;
                sheet.Set(cx + (cell - w) / 2 + x, cy + 4 + y, dark ? MakeRgba(90, 90, 100) : MakeRgba(130, 130, 140));
            }
        }
        Composite(sheet, Resize(src, w, h), cx + (cell - w) / 2, cy + 4);
        std::string name = pictures[i].first.substr(pictures[i].first.find_last_of('\\') + 1);
        TextStyle style;
        style.pixelSize = 12;
        style.color = MakeRgba(230, 230, 230);
        DrawText(sheet, float(cx + 4), float(cy + cell + 14), name, style);
        std::string size = std::to_string(src.width) + "x" + std::to_string(src.height);
        DrawText(sheet, float(cx + 4), float(cy + cell + 26), size, style);
    }
    std::vector<uint8_t> png = EncodePng(sheet);
    std::ofstream(hostPath, std::ios::binary).write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
}
