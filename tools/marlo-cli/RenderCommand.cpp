#include <QImageWriter>
#include <QSaveFile>
#include <QString>
#include <cstdio>
#include <memory>

#include "mapfiles/MapFiles.h"
#include "tools/marlo-cli/MapCommandSupport.h"
#include "tools/marlo-cli/MapCommands.h"
#include "tools/marlo-cli/SphereSupport.h"
#include "viewer/canvas/MapCanvas.h"

namespace {

const char RenderUsage[] =
    "Usage: marlo-cli render IN OUT.png [--rotate LAT,LON] [--projection NAME]\n"
    "                        [--graticule] [--raw] [--format2]\n"
    "\n"
    "Reads IN like \"marlo-cli convert\" (clockwise rings, then the rotation, then\n"
    "the projection) and draws it exactly as the viewer draws its map: a\n"
    "1000 x 750 image fitted to the map, written as PNG to OUT.png. A map in\n"
    "longitude and latitude is drawn as the projection shows the sphere: cut\n"
    "where the projection tears it, clipped where it folds, curves within half a\n"
    "pixel. Needs no display.\n"
    "\n"
    "  --rotate LAT,LON    rotation origin in degrees, e.g. --rotate 40,-100\n"
    "  --projection NAME   a display name as listed by \"marlo-cli list\"\n"
    "  --graticule         meridians and parallels every 10 degrees and the\n"
    "                      outline of the sphere beneath the map\n"
    "  --raw               draw the projected map as it is, uncut\n"
    "  --format2           read \".vmq\" files as text map version 2\n"
    "  --help              show this text\n";

// The viewer's map image: its canvas differs from the default only in the
// outline colour, which the view sets.
const QColor ViewerLineColour(200, 0, 0);

// Writes through a temporary file that replaces the target only when
// complete, so a failed render leaves no partial image behind.
bool SavePng(const QImage& image, const std::string& path) {
    QSaveFile file(QString::fromLocal8Bit(path.c_str()));
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    QImageWriter writer(&file, "png");
    if (!writer.write(image)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace

int RunRenderCommand(const std::vector<std::string>& args) {
    std::vector<std::string> words = args;
    CSphereOptions sphere;
    CSphereSwitches sphereSwitches;
    sphereSwitches.render = true;
    if (!TakeSphereOptions("render", words, sphereSwitches, sphere)) {
        return ExitUsage;
    }
    CMapCommandOptions options;
    CMapCommandSwitches accepted;
    accepted.rotate = accepted.projection = accepted.format2 = true;
    if (!ParseMapCommandOptions("render", words, accepted, options)) {
        return ExitUsage;
    }
    if (options.help) {
        std::fputs(RenderUsage, stdout);
        return ExitSuccess;
    }
    if (options.positional.size() != 2) {
        std::fputs(RenderUsage, stderr);
        return ExitUsage;
    }
    CMapTransformations transformations;
    if (!MakeTransformations(options, transformations)) {
        return ExitUsage;
    }
    useTextMapFormat2 = options.format2;
    const std::string& inputPath = options.positional[0];
    const std::string& outputPath = options.positional[1];

    ReserveMemoryForMap(inputPath);
    auto content = std::make_unique<C2DHoledPolyBaseSet>();
    CMapCanvas canvas;
    canvas.lineColour = ViewerLineColour;
    canvas.CreateBuffer(CMapCanvas::MapImageWidth, CMapCanvas::MapImageHeight);
    if (sphere.raw && !sphere.graticule) {
        // The content as the transformations leave it, nothing else.
        if (!LoadMapFile(inputPath, *content, &transformations)) {
            return ExitFileFailure;
        }
        canvas.FitToBounds(*content);
        canvas.Render(*content);
    } else {
        // Clockwise rings only: whether the map is one of the earth is told
        // by its loaded coordinates.
        const CMapTransformations clockwiseOnly;
        if (!LoadMapFile(inputPath, *content, &clockwiseOnly)) {
            return ExitFileFailure;
        }
        CSphereMap map;
        if (!PrepareSphereMap(*content, transformations, map)) {
            std::fprintf(stderr, "marlo-cli render: out of memory\n");
            return ExitFileFailure;
        }
        if (map.geographic) {
            if (!RenderSphereMap(*content, map, transformations, sphere, canvas)) {
                std::fprintf(stderr, "marlo-cli render: out of memory\n");
                return ExitFileFailure;
            }
        } else {
            // Not a map of the earth: drawn as it is, without a graticule.
            if (transformations.projection) {
                content->Transform(*transformations.projection);
            }
            canvas.FitToBounds(*content);
            canvas.Render(*content);
        }
    }
    KeepUntilExit(std::move(content));
    if (canvas.GetImage() == nullptr || !SavePng(*canvas.GetImage(), outputPath)) {
        std::fprintf(stderr, "Could not save file: %s\n", outputPath.c_str());
        return ExitFileFailure;
    }
    std::printf("%s\n", outputPath.c_str());
    return ExitSuccess;
}
