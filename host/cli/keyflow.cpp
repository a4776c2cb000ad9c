#include "host/cli/keyflow.h"

#include <cmath>

#include <opencv2/imgproc.hpp>
#include <opencv2/video/tracking.hpp>

namespace vxh {

namespace {

// Below this node reliability a node's own flow gives way to its neighbours'.
constexpr float kReliable = 0.5f;
// Photometric error (luma levels) at which a pixel's weight falls to e^-1/2.
constexpr float kPhotometricSigma = 12.0f;

cv::Mat lumaOf(const Picture &pic)
{
    cv::Mat luma(pic.height, pic.width, CV_8U);
    for (int y = 0; y < pic.height; ++y)
        for (int x = 0; x < pic.width; ++x)
            luma.at<uint8_t>(y, x) = pixY(pic.pixels[(size_t)y * pic.width + x]);
    return luma;
}

// The flow F with from(p) ~ to(p + F(p)), in pixels, CV_32FC2.
cv::Mat denseFlow(const cv::Mat &from, const cv::Mat &to, FlowMethod method)
{
    cv::Mat flow;
    // DIS's patches need room for a few of them on its coarsest level.
    if (method == FlowMethod::Farneback || from.cols < 32 || from.rows < 32) {
        cv::calcOpticalFlowFarneback(from, to, flow, 0.5, 5, 15, 5, 5, 1.2, 0);
        return flow;
    }
    cv::Ptr<cv::DISOpticalFlow> dis = cv::DISOpticalFlow::create(cv::DISOpticalFlow::PRESET_MEDIUM);
    dis->setFinestScale(0);
    dis->calc(from, to, flow);
    return flow;
}

// The sampling map p -> p + F(p) of a flow, for cv::remap.
cv::Mat followMap(const cv::Mat &flow)
{
    cv::Mat map(flow.size(), CV_32FC2);
    for (int y = 0; y < flow.rows; ++y)
        for (int x = 0; x < flow.cols; ++x) {
            const cv::Vec2f f = flow.at<cv::Vec2f>(y, x);
            map.at<cv::Vec2f>(y, x) = cv::Vec2f((float)x + f[0], (float)y + f[1]);
        }
    return map;
}

// Per-pixel trust in the flow F (target -> source), 0..1: F must be undone
// by the reverse flow B where it lands (forward-backward consistency, with
// a tolerance that grows with the motion) and must carry the source's luma
// onto the target's.
cv::Mat pixelWeights(const cv::Mat &target, const cv::Mat &source, const cv::Mat &forward,
                     const cv::Mat &backward)
{
    const cv::Mat map = followMap(forward);
    cv::Mat backAtLanding, sourceAtLanding;
    cv::remap(backward, backAtLanding, map, cv::noArray(), cv::INTER_LINEAR, cv::BORDER_REPLICATE);
    cv::remap(source, sourceAtLanding, map, cv::noArray(), cv::INTER_LINEAR, cv::BORDER_REPLICATE);
    cv::Mat weights(target.size(), CV_32F);
    for (int y = 0; y < target.rows; ++y)
        for (int x = 0; x < target.cols; ++x) {
            const cv::Vec2f f = forward.at<cv::Vec2f>(y, x), b = backAtLanding.at<cv::Vec2f>(y, x);
            const float ex = f[0] + b[0], ey = f[1] + b[1];
            const float tolerance = 0.01f * (f.dot(f) + b.dot(b)) + 0.5f;
            const float photo =
                (float)target.at<uint8_t>(y, x) - (float)sourceAtLanding.at<uint8_t>(y, x);
            weights.at<float>(y, x) =
                std::exp(-(ex * ex + ey * ey) / (2 * tolerance) -
                         photo * photo / (2 * kPhotometricSigma * kPhotometricSigma));
        }
    return weights;
}

// Each node's flow (grid units) and reliability: the weighted mean of the
// flow over the cell around the node and the mean pixel weight there.
void sampleNodes(const cv::Mat &flow, const cv::Mat &weights, KeyMesh &mesh, cv::Mat &nodes,
                 cv::Mat &reliability)
{
    const float ppc = (float)flow.cols / mesh.cols, ppr = (float)flow.rows / mesh.rows;
    const cv::Size window(2 * (int)std::lround(ppc) + 1, 2 * (int)std::lround(ppr) + 1);
    cv::Mat weighted, flowSum, weightSum;
    cv::Mat w2;
    cv::merge(std::vector<cv::Mat>{weights, weights}, w2);
    cv::multiply(flow, w2, weighted);
    cv::boxFilter(weighted, flowSum, CV_32F, window, cv::Point(-1, -1), true, cv::BORDER_REPLICATE);
    cv::boxFilter(weights, weightSum, CV_32F, window, cv::Point(-1, -1), true,
                  cv::BORDER_REPLICATE);
    nodes.create(mesh.rows, mesh.cols, CV_32FC2);
    reliability.create(mesh.rows, mesh.cols, CV_32F);
    for (int r = 0; r < mesh.rows; ++r)
        for (int c = 0; c < mesh.cols; ++c) {
            const int x = std::min((int)std::lround(c * ppc), flow.cols - 1);
            const int y = std::min((int)std::lround(r * ppr), flow.rows - 1);
            const float w = weightSum.at<float>(y, x);
            const cv::Vec2f f =
                w > 1e-6f ? flowSum.at<cv::Vec2f>(y, x) / w : flow.at<cv::Vec2f>(y, x);
            nodes.at<cv::Vec2f>(r, c) = cv::Vec2f(f[0] / ppc, f[1] / ppr);
            reliability.at<float>(r, c) = w;
        }
}

// Normalized smoothing: each node blended towards the reliability-weighted
// mean of its neighbourhood by its own unreliability. The neighbourhood
// widens until it holds enough reliable nodes.
void fillUnreliable(const cv::Mat &reliability, cv::Mat &nodes)
{
    cv::Mat r2, weighted;
    cv::merge(std::vector<cv::Mat>{reliability, reliability}, r2);
    cv::multiply(nodes, r2, weighted);
    cv::Mat filled(nodes.size(), CV_32FC2, cv::Scalar(0, 0));
    cv::Mat done(nodes.size(), CV_8U, cv::Scalar(0));
    for (double sigma = 1.5; sigma < 2.0 * std::max(nodes.cols, nodes.rows); sigma *= 2) {
        cv::Mat num, den;
        cv::GaussianBlur(weighted, num, cv::Size(0, 0), sigma, sigma, cv::BORDER_REPLICATE);
        cv::GaussianBlur(reliability, den, cv::Size(0, 0), sigma, sigma, cv::BORDER_REPLICATE);
        for (int r = 0; r < nodes.rows; ++r)
            for (int c = 0; c < nodes.cols; ++c)
                if (!done.at<uint8_t>(r, c) && den.at<float>(r, c) >= 0.05f) {
                    filled.at<cv::Vec2f>(r, c) = num.at<cv::Vec2f>(r, c) / den.at<float>(r, c);
                    done.at<uint8_t>(r, c) = 1;
                }
    }
    for (int r = 0; r < nodes.rows; ++r)
        for (int c = 0; c < nodes.cols; ++c) {
            const float w = std::min(reliability.at<float>(r, c), 1.0f);
            nodes.at<cv::Vec2f>(r, c) =
                nodes.at<cv::Vec2f>(r, c) * w + filled.at<cv::Vec2f>(r, c) * (1 - w);
        }
}

// The source luma resampled through the mesh as the warp passes read it:
// the grid interpolated bilinearly, zero on and past the last column and row.
cv::Mat warpThroughMesh(const cv::Mat &source, const KeyMesh &mesh)
{
    const float ppc = (float)source.cols / mesh.cols, ppr = (float)source.rows / mesh.rows;
    cv::Mat map(source.size(), CV_32FC2);
    for (int y = 0; y < source.rows; ++y)
        for (int x = 0; x < source.cols; ++x) {
            const float gc = x / ppc, gr = y / ppr;
            float dx = 0, dy = 0;
            if (gc < mesh.cols - 1 && gr < mesh.rows - 1) {
                const int c = (int)gc, r = (int)gr;
                const float fc = gc - c, fr = gr - r;
                const float *n00 = &mesh.grid[2 * ((size_t)r * mesh.cols + c)];
                const float *n01 = n00 + 2 * (size_t)mesh.cols;
                for (int k = 0; k < 2; ++k) {
                    const float top = (n00[2 + k] - n00[k]) * fc + n00[k];
                    const float bottom = (n01[2 + k] - n01[k]) * fc + n01[k];
                    (k ? dy : dx) = (bottom - top) * fr + top;
                }
            }
            map.at<cv::Vec2f>(y, x) = cv::Vec2f(x + dx * ppc, y + dy * ppr);
        }
    cv::Mat warped;
    cv::remap(source, warped, map, cv::noArray(), cv::INTER_LINEAR, cv::BORDER_REPLICATE);
    return warped;
}

double meanDifference(const cv::Mat &a, const cv::Mat &b)
{
    cv::Mat diff;
    cv::absdiff(a, b, diff);
    return cv::mean(diff)[0];
}

} // namespace

void findKeyMesh(const Picture &source, const Picture &target, FlowMethod method, KeyMesh &out)
{
    const cv::Mat src = lumaOf(source), dst = lumaOf(target);
    const cv::Mat forward = denseFlow(dst, src, method);
    const cv::Mat backward = denseFlow(src, dst, method);
    out.cols = source.width / 4;
    out.rows = source.height / 2;
    cv::Mat nodes, reliability;
    sampleNodes(forward, pixelWeights(dst, src, forward, backward), out, nodes, reliability);
    out.unreliableShare = cv::countNonZero(reliability < kReliable) / (double)reliability.total();
    fillUnreliable(reliability, nodes);
    const float ppc = (float)source.width / out.cols, ppr = (float)source.height / out.rows;
    out.grid.assign(2 * nodes.total(), 0);
    double magnitude = 0;
    for (int r = 0; r < out.rows; ++r)
        for (int c = 0; c < out.cols; ++c) {
            const cv::Vec2f d = nodes.at<cv::Vec2f>(r, c);
            const size_t i = 2 * ((size_t)r * out.cols + c);
            out.grid[i] = d[0];
            out.grid[i + 1] = d[1];
            magnitude += std::hypot(d[0] * ppc, d[1] * ppr);
        }
    out.meanMagnitude = magnitude / (double)nodes.total();
    out.differenceBefore = meanDifference(src, dst);
    out.differenceAfter = meanDifference(warpThroughMesh(src, out), dst);
}

} // namespace vxh
