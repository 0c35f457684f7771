// aglImageMapObj: the graph object of GraphType 2, the grid drawn as a flat
// image in the z = 0 plane of the graph box, one cell per sample, coloured
// through the palette.
//
// Small images (fewer than 1024 cells, filter off) are drawn as coloured
// quads; all others become a texture (1-D for a single row or column) on one
// quad, sized by aglPlanImage: narrow images repeated, axes raised to powers
// of two and limited to the context's GL_MAX_TEXTURE_SIZE. ImageOrientation
// mirrors the picture in x and/or y; ImageFilter chooses linear or nearest
// texture filtering. Holes (no data) are transparent cells, see
// aglImageGeometry.h.
//
// The image is rebuilt when it is marked dirty (SetFilter, SetPalette,
// Refresh), when the grid's size read under the frame's data lock differs
// from the size it was built from, and when the palette's table, range or
// value mapping differ from those it was built with (a new PaletteId on the
// same palette object calls no setter of ours). A failed resampling or
// texture upload draws nothing for that frame and writes why to the trace;
// the next frame tries again.
//
// The texture lives in a GL texture object, bound each frame: the picture is
// replayed without another upload while the camera moves.
//
// Threads: as aglGraphObj; the image and the texture belong to the render
// thread.
#pragma once

#include <atomic>
#include <vector>

#include "aglGraphObj.h"
#include "aglImageGeometry.h"
#include "aglPalette.h"

class aglImageMapObj : public aglGraphObj {
public:
    aglImageMapObj();
    ~aglImageMapObj() override;

    void Render(RenderMode mode) override;
    // Also marks the image dirty.
    void Refresh() override;
    void SetPalette(const aglPalette* palette) override;
    // Also marks the texture dirty (replace or modulate).
    void SetLighting(bool on) override;
    void DrawCursor() override;

    // 0 identity, 1 mirrored in x, 2 mirrored in y, 3 both; other values are
    // ignored. Takes effect at the next frame (the image is not rebuilt).
    void SetOrientation(int orientation);
    int Orientation() const { return m_orientation.load(); }
    // Linear (true) or nearest texture filtering; a change rebuilds the image.
    void SetFilter(bool on);
    bool Filter() const { return m_filter.load(); }

    // What the last built image is (render thread, or after a frame).
    const aglImagePlan& Plan() const { return m_plan; }
    bool HasImage() const { return m_hasImage; }
    // The texture size limit of the context, read on the first frame.
    int MaxTextureSize() const { return m_maxTexture; }
    // Test hook: a smaller texture size limit than the context's.
    void SetTextureLimitForTest(int texels) { m_textureLimitOverride = texels; }
    // Test hook: texture uploads fail as if GL had refused them (until cleared).
    void SetUploadFailureForTest(bool fail) { m_failUploads.store(fail); }
    // Number of images built and textures uploaded so far (render thread).
    int ImageBuilds() const { return m_imageBuilds; }
    int TextureUploads() const { return m_uploads; }

private:
    bool imageIsStale() const;
    void buildImage();
    bool uploadTexture();
    void dropTexture();
    void drawTexture();
    void drawQuads();
    void drawPick();
    void drawGridLines();

    // The colour the texture is modulated with when lit (not GraphColor).
    float m_imageColor[3] = {1.0f, 1.0f, 1.0f};
    std::atomic<int> m_orientation{0};
    std::atomic<bool> m_filter{false};
    std::atomic<bool> m_imageDirty{true};
    std::atomic<bool> m_textureDirty{true};

    // Render thread.
    std::vector<uint8_t> m_cells;  // nx x ny RGBA, the quads' colours
    std::vector<uint8_t> m_texels; // the texture image (plan width x height)
    aglImagePlan m_plan;
    bool m_hasImage = false;
    int m_builtNx = 0, m_builtNy = 0;
    bool m_builtFilter = false;
    uint8_t m_builtTable[aglPalette::kTableBytes] = {};
    float m_builtRange[2] = {0, 0};
    double m_builtMapping[2] = {0, 0};
    unsigned m_texture = 0;
    int m_maxTexture = 0;
    int m_textureLimitOverride = 0;
    std::atomic<bool> m_failUploads{false};
    int m_imageBuilds = 0, m_uploads = 0;
};
