// A key mesh found from two pictures: the dense optical flow between them
// (OpenCV), sampled at the nodes of a key grid, with the nodes where the
// flow is unreliable filled in from their reliable neighbours.
#ifndef VXH_KEYFLOW_H
#define VXH_KEYFLOW_H

#include <vector>

#include "host/core/pixels.h"

namespace vxh {

enum class FlowMethod { Dis, Farneback };

struct KeyMesh {
    int cols = 0, rows = 0;
    // cols x rows nodes of (dx, dy) in grid columns and rows, row by row.
    std::vector<float> grid;
    double meanMagnitude = 0;   // mean node displacement in pixels
    double unreliableShare = 0; // share of the nodes filled in from neighbours
    // Mean absolute luma difference to the target of the source as it is
    // and of the source warped through the mesh.
    double differenceBefore = 0, differenceAfter = 0;
};

// The key grid of pictures of source's size (width/4 x height/2 nodes)
// that warps source onto target: target(p) ~ source(p + D(p)), the mesh
// mapping backwards as the warp passes do. Both pictures have one size of
// at least 8x4 pixels.
void findKeyMesh(const Picture &source, const Picture &target, FlowMethod method, KeyMesh &out);

} // namespace vxh

#endif
