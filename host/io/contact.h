// Contact sheets: a quick visual overview of one or more clips in one PNG.
#ifndef VXH_CONTACT_H
#define VXH_CONTACT_H

#include <string>
#include <vector>

#include "host/io/clip.h"

namespace vxh {

// One row per clip showing the frames at 0, 25, 50, 75 and 100 %
// (index = (n-1)*pct/100), each box-filtered down to ceil(w/4) x ceil(h/4),
// separated and surrounded by kContactGap pixels of mid grey. The sheet is as
// wide as its widest row and fully opaque.
constexpr int kContactGap = 8;
bool writeContactSheet(const std::string &path, const std::vector<const Clip *> &rows,
                       std::string &err);

} // namespace vxh

#endif
