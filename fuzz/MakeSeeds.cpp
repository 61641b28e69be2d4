// Writes the fuzzers' seed inputs, one folder per target under the corpus root: the window's
// property records, small pictures of each format Qt can write with the variants the picture
// tests make, the DICOM test fixtures, PICT files of many kinds and the damaged files the tests
// keep.
#include "pictures/DicomFixtures.h"
#include "pictures/PictFixtures.h"
#include "pictures/RasterFixtures.h"
#include "window/PropertyRecords.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    const std::string root = argv[1];
    const std::string records = root + "/PropertyRecord", pictures = root + "/Picture";
    std::filesystem::create_directories(records);
    std::filesystem::create_directories(pictures);
    const std::string_view all[] = {PropertyRecords::Window1,       PropertyRecords::HintField,
                                    PropertyRecords::FileList,      PropertyRecords::ScanButton,
                                    PropertyRecords::FolderName,    PropertyRecords::ExportButton,
                                    PropertyRecords::PreviewCanvas, PropertyRecords::PreviewCheckBox,
                                    PropertyRecords::UseHintCheckBox};
    const char classByte[] = {0, 1, 2, 3, 4, 3, 5, 6, 6};
    for (int i = 0; i < 9; ++i) {
        std::ofstream out(records + "/record" + std::to_string(i), std::ios::binary);
        out.put(classByte[i]);
        out.write(all[i].data(), static_cast<std::streamsize>(all[i].size()));
    }
    QImage image(7, 5, QImage::Format_ARGB32);
    image.fill(QColor(200, 30, 90, 180));
    for (const char* format : {"png", "jpg", "bmp", "tiff", "gif", "ppm"}) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (!QImageWriter(&buffer, format).write(image))
            continue;
        std::ofstream out(pictures + "/seed." + format, std::ios::binary);
        out.write(bytes.constData(), bytes.size());
    }
    const std::string dicom = root + "/Dicom";
    std::filesystem::create_directories(dicom);
    for (const dicom_fixtures::Fixture& fixture : dicom_fixtures::AllFixtures())
        if (!dicom_fixtures::WriteDicom(fixture, dicom + "/" + fixture.name + ".dcm"))
            std::fprintf(stderr, "could not write the DICOM seed %s\n", fixture.name.c_str());
    const std::string picts = root + "/Pict";
    std::filesystem::create_directories(picts);
    auto pictSeeds = pict_fixtures::PictSeeds();
    for (auto& seed : pict_fixtures::VectorSeeds())
        pictSeeds.push_back(std::move(seed));
    for (const auto& [name, bytes] : pictSeeds) {
        std::ofstream out(picts + "/" + name, std::ios::binary);
        out.write(bytes.constData(), bytes.size());
    }
    // The damaged files from the field that the tests keep, each with the fuzzer of its format.
    for (const auto& entry : std::filesystem::directory_iterator(ZORLIN_TEST_DATA)) {
        const std::string& folder = entry.path().extension() == ".dcm" ? dicom : entry.path().extension() == ".pict" ? picts : pictures;
        std::filesystem::copy_file(entry.path(), folder + "/" + entry.path().filename().string(),
                                   std::filesystem::copy_options::overwrite_existing);
    }
    // And the variants the picture tests make: orientations, palettes, interlacing, CMYK, tiles.
    int n = 0;
    for (const fixtures::Fixture& f : fixtures::SeedFixtures()) {
        std::ofstream out(pictures + "/variant" + std::to_string(n++) + "." + f.name, std::ios::binary);
        out.write(f.bytes.constData(), f.bytes.size());
    }
    return 0;
}
