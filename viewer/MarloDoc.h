#pragma once

#include "geometry/HoledPolygons.h"
#include "viewer/Framework.h"

class CGeoRotation;
class CProjection;
struct CGeoPoint;

// Update hint sent to the views after every change of the map content.
inline constexpr int HintContentChanged = 3;

// The map document: the map content and the at most one projection and at
// most one rotation currently applied to it. Each transformation lives from
// its forward application to its inverse application (or the next load,
// which simply drops it).
class CMarloDoc : public CDocument {
public:
    CMarloDoc();
    ~CMarloDoc() override;

    // Ask for a file name, then load or save it.
    void OpenMap();
    void SaveMapAs();

    // The format follows from the path: ".vmq" anywhere in it means the text
    // map format, otherwise ".shp" means a shapefile (case-sensitive).
    void LoadMap(const char* path);
    void SaveMap(const char* path);

    // Applies the projection of that display name, unless one is applied
    // already or the name is unknown.
    void Project(const char* projectionName);
    void InverseProject();
    // Rotates the sphere so that origin (radians) comes to latitude 0,
    // longitude 0, unless a rotation is applied already.
    void Rotate(const CGeoPoint& origin);
    void RotateBack();

    const C2DHoledPolyBaseSet& GetContent() const { return content; }
    // The applied transformations, or null.
    CProjection* GetProjection() const { return projection; }
    CGeoRotation* GetRotation() const { return rotation; }

private:
    void DropTransformations();

    CProjection* projection = nullptr;
    CGeoRotation* rotation = nullptr;
    C2DHoledPolyBaseSet content;
};
