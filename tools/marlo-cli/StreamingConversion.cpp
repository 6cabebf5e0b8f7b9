#include "tools/marlo-cli/StreamingConversion.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "mapfiles/MapFileStreams.h"
#include "mapfiles/ShapefileRecords.h"
#include "mapfiles/ShapefileSidecars.h"
#include "tools/marlo-cli/MemoryTuning.h"
#include "tools/marlo-cli/PreparationPipeline.h"
#include "tools/marlo-cli/RecordPipeline.h"
#include "tools/marlo-cli/TerminalProgress.h"

namespace {

void ReportFailure(const char* what, const std::string& path, const CMapFileError& error) {
    std::fprintf(stderr, "%s: %s: %s\n", what, path.c_str(), DescribeMapFileError(error).c_str());
}

// Takes the pieces of a map down the road and hands them to the writer.
class CPieceConverter final {
public:
    // Shapefile records are converted whole on worker threads, the holed
    // polygons of a text map ring by ring on helpers.
    CPieceConverter(const CMapTransformations& transformations, const CSphereOptions& sphere,
                    CMapFileWriter& writer, MapFileFormat input)
        : transformations(transformations), sphere(sphere), writer(writer),
          withEnds(writer.WantsEdgeEnds()), pipeline(transformations, writer),
          recordPipeline(transformations, writer) {
        if (sphere.clip) {
            return;
        }
        if (input == MapFileFormat::Shapefile) {
            recordPipeline.Start(PreparationThreadCount());
        } else {
            pipeline.Start(PreparationThreadCount() - 1);
        }
    }

    // One shapefile record, which may be taken over; false (after saying
    // why) when clipping fails or memory runs out.
    bool ConvertRecord(ShapeRecord& record, int32_t recordNumber) {
        if (sphere.clip) {
            std::unique_ptr<C2DHoledPolygonSet> set(RecordToHoledPolygons(record));
            // A content receives a record's holed polygons last first.
            piece.ExtractHoledPolys(*set);
            return ClipPiece(recordNumber);
        }
        // A shapefile's rings are straight: they are split and prepared as
        // plain numbers, never made as objects.
        if (!recordPipeline.Add(record, recordNumber)) {
            ReportOutOfMemory();
            return false;
        }
        return true;
    }

    // One holed polygon of a text map.
    bool ConvertHoledPolygon(std::unique_ptr<C2DHoledPolyBase> holedPolygon) {
        anyHoledPolygon = true;
        if (sphere.clip) {
            piece.Add(holedPolygon.release());
            return ClipPiece(-1);
        }
        pipeline.BeginPiece(-1);
        pipeline.AddRim(holedPolygon->GetRim(), false);
        for (unsigned h = 0; h < holedPolygon->GetHoleCount(); ++h) {
            pipeline.AddHole(0, holedPolygon->GetHole(h), false);
        }
        pipeline.EndPiece(std::move(holedPolygon), false);
        return true;
    }

    // After the last piece: writes what is left; false (after saying why)
    // when memory runs out.
    bool FinishPieces() {
        pipeline.Finish();
        if (!recordPipeline.Finish()) {
            ReportOutOfMemory();
            return false;
        }
        return true;
    }

    bool AnyHoledPolygon() const { return anyHoledPolygon || recordPipeline.AnyHoledPolygon(); }
    // After the last piece: whether the clipped map as a whole was one of
    // the earth.
    bool Finish() const { return !sphere.clip || FinishEarthCheck(earth); }

private:
    static void ReportOutOfMemory() { std::fprintf(stderr, "Out of memory\n"); }

    static void PrepareHoledPolygon(C2DHoledPolyBase& holedPolygon,
                                    const CMapTransformations& steps) {
        if (holedPolygon.GetRim() != nullptr) {
            PrepareRing(*holedPolygon.GetRim(), steps);
        }
        for (unsigned h = 0; h < holedPolygon.GetHoleCount(); ++h) {
            PrepareRing(*holedPolygon.GetHole(h), steps);
        }
    }

    // The piece in hand, read as LoadMapFile reads it for --clip, is
    // replaced by its display geometry and written.
    bool ClipPiece(int32_t recordNumber) {
        const CMapTransformations* steps = StepsWhileLoading(sphere, transformations);
        for (unsigned i = 0; i < piece.GetSize(); ++i) {
            PrepareHoledPolygon(*piece.GetAt(i), *steps);
        }
        anyHoledPolygon = anyHoledPolygon || piece.GetSize() != 0;
        records.assign(piece.GetSize(), recordNumber);
        const bool clipped =
            ClipPieceToDisplayGeometry(piece, records, transformations, sphere, earth);
        if (clipped) {
            for (unsigned i = 0; i < piece.GetSize(); ++i) {
                TakeHoledPolygonPoints(*piece.GetAt(i), withEnds, points);
                writer.WriteHoledPolygon(points, i < records.size() ? records[i] : -1);
            }
        }
        piece.DeleteAll();
        return clipped;
    }

    const CMapTransformations& transformations;
    const CSphereOptions& sphere;
    CMapFileWriter& writer;
    const bool withEnds;
    bool anyHoledPolygon = false;
    CPreparationPipeline pipeline;
    CRecordPipeline recordPipeline;
    CHoledPolygonPoints points;
    // With --clip: the piece in hand as objects, and the source record of
    // each of its holed polygons.
    C2DHoledPolyBaseSet piece;
    std::vector<int32_t> records;
    CEarthCheck earth;
};

// The road shared by both formats of IN: convertPieces reads and converts
// every piece with the converter, false when one fails (after saying why).
// The table of a shapefile IN goes with the rows.
template <typename Reader, typename ConvertPieces>
bool ConvertMap(Reader& reader, const std::string& inputPath, const std::string& outputPath,
                const CMapTransformations& transformations, const CSphereOptions& sphere,
                CMapSaveInfo& info, ConvertPieces convertPieces) {
    CTerminalProgress progress("Converting " + inputPath);
    CMapFileError error;
    if (!reader.Open(inputPath.c_str(), &error)) {
        ReportFailure("Could not open file", inputPath, error);
        return false;
    }
    std::unique_ptr<CMapFileWriter> writer = OpenMapFileWriter(outputPath.c_str(), &error);
    if (!writer) {
        ReportFailure("Could not save file", outputPath, error);
        return false;
    }
    CPieceConverter converter(transformations, sphere, *writer,
                              ChooseMapFileFormat(inputPath.c_str()));
    if (!convertPieces(converter, progress)) {
        return false;
    }
    if (!reader.CheckAnyRead(converter.AnyHoledPolygon(), &error)) {
        progress.Abandon();
        ReportFailure("Could not open file", inputPath, error);
        return false;
    }
    if (!converter.FinishPieces() || !converter.Finish()) {
        return false;
    }
    CMapAttributes attributes;
    if (ChooseMapFileFormat(inputPath.c_str()) == MapFileFormat::Shapefile) {
        ReadAttributeTable(inputPath, attributes);
    }
    info.attributes = &attributes;
    const bool saved = writer->Finish(&info, &error);
    info.attributes = nullptr;
    if (!saved) {
        progress.Abandon();
        ReportFailure("Could not save file", outputPath, error);
        return false;
    }
    progress.Complete();
    return true;
}

bool ConvertShapefile(const std::string& inputPath, const std::string& outputPath,
                      const CMapTransformations& transformations, const CSphereOptions& sphere,
                      CMapSaveInfo& info) {
    CShapefileRecordReader reader;
    return ConvertMap(reader, inputPath, outputPath, transformations, sphere, info,
                      [&](CPieceConverter& converter, CTerminalProgress& progress) {
                          ShapeRecord record;
                          RecordReading reading = RecordReading::End;
                          while (reader.Next(record, reading)) {
                              if (reading == RecordReading::Polygon &&
                                  !converter.ConvertRecord(record, reader.GetRecordNumber())) {
                                  return false;
                              }
                              progress.UpdateProgress(reader.GetPercent());
                          }
                          return true;
                      });
}

bool ConvertTextMap(const std::string& inputPath, const std::string& outputPath,
                    const CMapTransformations& transformations, const CSphereOptions& sphere,
                    CMapSaveInfo& info) {
    CTextMapReader reader;
    return ConvertMap(reader, inputPath, outputPath, transformations, sphere, info,
                      [&](CPieceConverter& converter, CTerminalProgress& progress) {
                          while (std::unique_ptr<C2DHoledPolyBase> holedPolygon = reader.Next()) {
                              if (!converter.ConvertHoledPolygon(std::move(holedPolygon))) {
                                  return false;
                              }
                              progress.UpdateProgress(reader.GetPercent());
                          }
                          return true;
                      });
}

} // namespace

bool ConvertStreaming(const std::string& inputPath, const std::string& outputPath,
                      const CMapTransformations& transformations, const CSphereOptions& sphere) {
    TuneMemoryForStreaming();
    CMapSaveInfo info;
    info.coordinates = CoordinatesAfter(CoordinatesOfMapFile(inputPath.c_str()), transformations);
    switch (ChooseMapFileFormat(inputPath.c_str())) {
    case MapFileFormat::Shapefile:
        return ConvertShapefile(inputPath, outputPath, transformations, sphere, info);
    case MapFileFormat::TextMap:
        return ConvertTextMap(inputPath, outputPath, transformations, sphere, info);
    case MapFileFormat::Unknown:
        break;
    }
    CMapFileError error;
    error.problem = MapFileProblem::UnknownFormat;
    ReportFailure("Could not open file", inputPath, error);
    return false;
}
