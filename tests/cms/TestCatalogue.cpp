#include "TestCatalogue.h"

#include <fstream>

namespace pagewell::cms::test {

using nlohmann::json;

json testManifest() {
    return json::parse(R"({
      "format": 1,
      "users": [
        {"id": 1, "username": "demo", "password": "demo", "secret": "secret-1"},
        {"id": 2, "username": "other", "password": "pw2", "locales": [1]}
      ],
      "locales": [
        {"id": 1, "title": "English", "iso_full": "English", "iso5": "en_GB", "iso2": "en"},
        {"id": 2, "title": "Deutsch", "iso_full": "German", "iso5": "de_DE", "iso2": "de"}
      ],
      "categories": [
        {"id": 10, "locale": 1, "title": "Brochures", "modified": "2024-01-02 10:00:00",
         "positions": [{"parent": 0, "position": 1}]},
        {"id": 11, "locale": 1, "title": "Pumps", "modified": "2024-01-02 10:00:00",
         "parents": [10], "positions": [{"parent": 10, "position": 2}], "users": [1]},
        {"id": 10, "locale": 2, "title": "Broschueren", "modified": "2024-01-02 10:00:00"}
      ],
      "files": [
        {"id": 100, "title": "Pump guide", "titles": {"2": "Pumpenfibel"},
         "path": "files/guide.pdf", "modified": "2024-01-03 09:00:00",
         "metatags": ["hydraulics"], "thumbnail": "thumbs/guide.png",
         "locales": [1, 2], "categories": [10, 11], "positions": {"10": 4},
         "annotations": [{"id": 500, "page": 2,
                          "assets": [{"id": 900, "path": "assets/slide1.jpg", "type": 3}]}]},
        {"id": 101, "title": "Price list", "path": "files/prices.txt",
         "modified": "2024-01-03 09:00:00", "read_confirmation": true,
         "locales": [1], "categories": [11], "users": [1]}
      ],
      "highlights": [100],
      "imprints": [{"id": 7, "locale": 1, "text": "Imprint text"}],
      "theme": {"color": "#ff0000"}
    })");
}

void writeTestCatalogue(const std::filesystem::path& directory, const json& manifest) {
    auto write = [&](const std::string& relative, const std::string& bytes) {
        std::filesystem::create_directories((directory / relative).parent_path());
        std::ofstream(directory / relative, std::ios::binary) << bytes;
    };
    write("files/guide.pdf", kFileContent);
    write("files/prices.txt", "prices");
    write("thumbs/guide.png", kThumbnailContent);
    write("assets/slide1.jpg", kAssetContent);
    write("catalogue.json", manifest.dump(2));
}

}  // namespace pagewell::cms::test
