#include "generator.h"
#include "manifest.h"
#include "pictures.h"
#include "png_file.h"

void GeneratePictures(OutputTree& out, std::vector<std::pair<std::string, Image>>* sheet) {
    for (const PictureSpec& spec : Pictures()) {
        Image image = PaintPicture(spec);
        out.WriteBytes(spec.path, EncodePng(image));
        if (sheet) sheet->emplace_back(spec.path, std::move(image));
    }
}
