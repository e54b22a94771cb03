// Item outlines: the legacy coordinate lists and SVG path data, as Bézier
// path points.
#include "ScribusOutlines.h"

#include "ScribusDecimal.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace scribus {
namespace detail {

namespace {

bool Near(const Point& a, const Point& b) {
    return std::fabs(a.x - b.x) < 1e-6 && std::fabs(a.y - b.y) < 1e-6;
}

// Moves the gathered points into a new subpath of out, closing it when its
// ends meet; the subpath gets one allocation of its exact size.
void AddSubPath(std::vector<PathPoint>& points, Outline& out) {
    bool closed = false;
    if (points.size() > 2 && Near(points.front().anchor, points.back().anchor)) {
        points.front().left = points.back().left;
        points.pop_back();
        closed = true;
    }
    if (!points.empty()) {
        out.emplace_back();
        out.back().points.assign(points.begin(), points.end());
        out.back().closed = closed;
    }
    points.clear();
}

// The two bytes at p as one number.
inline std::uint16_t Pair(const char* p) {
    std::uint16_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Spaces, commas, tabs and line ends; the text ends with a NUL, which is
// none of them, so the scan needs no bounds check.
inline __attribute__((always_inline)) const char* SkipSeparators(const char* p) {
    // Digits, signs and points are above ','; one comparison lets them by.
    // Most often there is nothing to skip, or one space.
    if (static_cast<unsigned char>(*p) > ',') return p;
    if (*p == ' ' && static_cast<unsigned char>(p[1]) > ',') return p + 1;
    constexpr std::uint64_t kSeparators =
        1ull << ' ' | 1ull << ',' | 1ull << '\t' | 1ull << '\n' | 1ull << '\r';
    for (unsigned c = static_cast<unsigned char>(*p); c <= ',' && (kSeparators >> c & 1);
         c = static_cast<unsigned char>(*++p)) {
    }
    return p;
}

// The number at p, 0 for one out of range; null when there is none. Outlines
// are mostly short numbers, read here whole and without a call each, and
// within range. The rest, rare, finds the text's end (its NUL) only when it
// needs it. Outline texts are attribute values, with kValuePadding bytes
// after them.
inline __attribute__((always_inline)) const char* ReadCoordinate(const char* p, double& out) {
    if (const char* q = ReadShortDecimal(p, out)) return q;
    double v;
    const char* q = ReadDecimal(p, v);
    if (__builtin_expect(!q, 0) && !(q = ReadNumber(p, p + std::strlen(p), v))) return nullptr;
    out = InRange(v) ? v : 0;
    return q;
}

void LimitWarning(Context& ctx) {
    ctx.WarnOnce(Warning::Code::kLimit, "path",
                 "an outline has more than " + std::to_string(ctx.options.maxPathPoints) +
                     " points; the rest of it is skipped");
}

} // namespace

void CoordinatesToPath(Context& ctx, const char* text, Outline& out) {
    if (!text) return;
    const char* p = text;
    // Reads the next number; junk between numbers is skipped. The text ends
    // with a NUL.
    auto next = [&](double& v) {
        for (;;) {
            p = SkipSeparators(p);
            if (!*p) return false;
            if (const char* q = ReadCoordinate(p, v)) {
                p = q;
                return true;
            }
            while (*p && *p != ' ' && *p != ',')
                ++p;
        }
    };
    // Reads the next two numbers, and tells how many it read. Mostly they
    // are short decimals with one space between and one after, read at once.
    auto nextTwo = [&](double* two) {
#if defined(__SSE2__)
        const char* s = SkipSeparators(p);
        __m128d xy;
        if (const char* end = ReadSpacedPair(s, xy)) {
            _mm_storeu_pd(two, xy);
            p = end;
            return 2;
        }
#endif
        if (!next(two[0])) return 0;
        return next(two[1]) ? 2 : 1;
    };
    std::vector<PathPoint>& current = ctx.pathPoints; // the subpath being read
    current.clear();
    std::size_t total = 0;
    double q[8];
    while (true) {
        int got = 0;
        for (int n = 2; got < 8 && n == 2; got += n)
            n = nextTwo(q + got);
        if (got < 8) break;
        if (++total > ctx.options.maxPathPoints) {
            LimitWarning(ctx);
            break;
        }
        Point p1{q[0], q[1]}, c1{q[2], q[3]}, p2{q[4], q[5]}, c2{q[6], q[7]};
        if (p1.x > 900000 && p1.y > 900000) { // marker between subpaths
            AddSubPath(current, out);
            continue;
        }
        if (current.empty() || !Near(current.back().anchor, p1)) {
            AddSubPath(current, out);
            current.push_back(PathPoint{p1, p1, c1});
        } else {
            current.back().right = c1;
        }
        current.push_back(PathPoint{c2, p2, p2});
    }
    AddSubPath(current, out);
}

namespace {

// SVG path data, one command at a time; numbers after a command repeat it.
class SvgPath {
public:
    SvgPath(Context& ctx, const char* text, Outline& out)
        : ctx_(ctx), p_(text), out_(out), points_(ctx.pathPoints) {
        points_.clear();
        if (points_.capacity() < 256) points_.reserve(256); // not from one point by doubling
    }

    SvgEnding Run() {
        const std::size_t limit = ctx_.options.maxPathPoints;
        std::size_t total = 0;
        SvgEnding ending;
        for (;;) {
            p_ = SkipSeparators(p_);
            const char c = *p_;
            if (!c) {
                ending.end = p_;
                break;
            }
            if (++total > limit) {
                LimitWarning(ctx_);
                break;
            }
            if (c == 'L') { // most commands: Step's lines to absolute points
                if (!AbsoluteLines(total, limit)) break;
                continue;
            }
            if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
                command_ = c;
                ++p_;
                if (c == 'Z' || c == 'z') {
                    pos_ = start_;
                    Flush(true);
                    previous_ = c;
                    continue;
                }
            } else if (!command_) {
                ctx_.WarnOnce(Warning::Code::kUnsupported, "svg-path",
                              "unreadable outline data skipped");
                break;
            }
            if (!Step()) break;
            previous_ = command_;
        }
        ending.commands = total;
        Flush(false);
        return ending;
    }

private:
    // n numbers, each after separators; false when one is missing or
    // unreadable.
    bool Numbers(double* a, int n) {
#if defined(__SSE2__)
        // A pair ("M0 0") mostly is two short numbers.
        __m128d xy;
        const char* q = n == 2 ? ReadShortPair(p_, xy) : nullptr;
        if (q && (static_cast<unsigned char>(*q) | 0x20) != 'e') {
            _mm_storeu_pd(a, xy);
            p_ = q;
            return true;
        }
#endif
        const char* p = p_;
        for (int i = 0; i < n; ++i) {
            p = ReadCoordinate(SkipSeparators(p), a[i]);
            if (!p) return false;
        }
        p_ = p;
        return true;
    }

    // A run of 'L' commands, p_ at the first: the text and the position stay
    // in registers from one to the next. Counts each after the first against
    // the limit as Run does; false ends the outline.
    bool AbsoluteLines(std::size_t& total, std::size_t limit) {
        command_ = 'L';
        const char* p = p_;
        Point to = pos_;
        // A subpath the lines start gets the current point first; it goes
        // again when the first line is unreadable.
        const bool starts = points_.empty();
        if (starts) points_.push_back(PathPoint{to, to, to});
        std::size_t count = total;
        bool more = true;
        for (;;) {
            if (SpacedLinePoint(p, to)) {
                // at the next 'L'
            } else if (!LinePoint(p, to)) {
                if (starts && points_.size() == 1) points_.clear();
                more = false;
                break;
            } else if (Pair(p) == Pair(" L")) {
                ++p;
            } else {
                p = SkipSeparators(p);
                if (*p != 'L') break;
            }
            if (++count > limit) {
                LimitWarning(ctx_);
                more = false;
                break;
            }
        }
        total = count;
        pos_ = to;
        if (!more) return false;
        p_ = p;
        previous_ = 'L';
        return true;
    }

#if defined(__SSE2__)
    // A line point at xy added to the subpath, and to set to it. Filled in
    // place: a PathPoint put together first goes through memory.
    inline __attribute__((always_inline)) void AddLinePoint(__m128d xy, Point& to) {
        xy = _mm_add_pd(xy, _mm_setzero_pd()); // as Step adds: -0 becomes 0
        double* added = &points_.emplace_back().left.x;
        _mm_storeu_pd(added, xy);
        _mm_storeu_pd(added + 2, xy);
        _mm_storeu_pd(added + 4, xy);
        _mm_storeu_pd(&to.x, xy);
    }
#endif

    // The point of the 'L' at p when " L" follows it, most often, and within
    // the 32 bytes ReadSpacedPair takes: added as LinePoint adds it, and
    // p at the next 'L'. False, with nothing done, for any other.
    inline __attribute__((always_inline)) bool SpacedLinePoint(const char*& p, Point& to) {
#if defined(__SSE2__)
        __m128d xy;
        const char* q = ReadSpacedPair(p + 1, xy);
        if (!q || q[1] != 'L') return false;
        AddLinePoint(xy, to);
        p = q + 1;
        return true;
#else
        (void)p, (void)to;
        return false;
#endif
    }

    // The point of the 'L' at p, added to the subpath (which has its start);
    // false when a number is missing or unreadable. p moves past the numbers.
    inline __attribute__((always_inline)) bool LinePoint(const char*& p, Point& to) {
#if defined(__SSE2__)
        __m128d xy;
        const char* q = ReadShortPair(p + 1, xy);
        // Mostly the next 'L' follows after a space; an exponent on y makes
        // it no short decimal.
        if (q && (Pair(q) == Pair(" L") || (static_cast<unsigned char>(*q) | 0x20) != 'e')) {
            AddLinePoint(xy, to);
            p = q;
            return true;
        }
#endif
        double x, y;
        const char* end = ReadCoordinate(SkipSeparators(p + 1), x);
        if (end) end = ReadCoordinate(SkipSeparators(end), y);
        if (!end) return false;
        to = Point{0.0 + x, 0.0 + y}; // as Step adds: -0 becomes 0
        PathPoint& added = points_.emplace_back();
        added.left = added.anchor = added.right = to;
        p = end;
        return true;
    }

    void Flush(bool closed) {
        if (points_.empty()) return;
        if (points_.size() > 1 && closed && Near(points_.front().anchor, points_.back().anchor)) {
            points_.front().left = points_.back().left;
            points_.pop_back();
        }
        // The points grow in the context's buffer, used again for every
        // outline; the outline keeps a copy of exactly their size.
        SubPath& added = out_.emplace_back();
        added.points.assign(points_.begin(), points_.end());
        added.closed = closed;
        // Lines only: a closing point's handle is its neighbour's anchor,
        // which the check above found on the first anchor.
        added.straight = !curved_;
        curved_ = false;
        points_.clear();
    }

    void LineTo(Point to) {
        if (points_.empty()) points_.push_back(PathPoint{pos_, pos_, pos_});
        // Filled in place: a PathPoint put together first goes through memory.
        PathPoint& added = points_.emplace_back();
        added.left = added.anchor = added.right = to;
        pos_ = to;
    }

    void CurveTo(Point c1, Point c2, Point to) {
        if (points_.empty()) points_.push_back(PathPoint{pos_, pos_, pos_});
        points_.back().right = c1;
        points_.push_back(PathPoint{c2, to, to});
        curved_ = true;
        lastControl_ = c2;
        pos_ = to;
    }

    Point Reflected(const char* after) const {
        bool smooth = previous_ && std::strchr(after, previous_);
        return smooth ? Point{2 * pos_.x - lastControl_.x, 2 * pos_.y - lastControl_.y} : pos_;
    }

    // One command with its numbers; false ends the outline.
    bool Step() {
        const bool rel = command_ >= 'a';
        const Point base = rel ? pos_ : Point{0, 0};
        auto at = [&](double x, double y) { return Point{base.x + x, base.y + y}; };
        double a[6];
        switch (command_) {
        case 'M':
        case 'm':
            if (!Numbers(a, 2)) return false;
            Flush(false);
            pos_ = start_ = at(a[0], a[1]);
            points_.push_back(PathPoint{pos_, pos_, pos_});
            command_ = rel ? 'l' : 'L'; // further pairs are lines
            return true;
        case 'L':
        case 'l':
            if (!Numbers(a, 2)) return false;
            LineTo(at(a[0], a[1]));
            return true;
        case 'H':
        case 'h':
            if (!Numbers(a, 1)) return false;
            LineTo(Point{(rel ? pos_.x : 0) + a[0], pos_.y});
            return true;
        case 'V':
        case 'v':
            if (!Numbers(a, 1)) return false;
            LineTo(Point{pos_.x, (rel ? pos_.y : 0) + a[0]});
            return true;
        case 'C':
        case 'c':
            if (!Numbers(a, 6)) return false;
            CurveTo(at(a[0], a[1]), at(a[2], a[3]), at(a[4], a[5]));
            return true;
        case 'S':
        case 's':
            if (!Numbers(a, 4)) return false;
            CurveTo(Reflected("CcSs"), at(a[0], a[1]), at(a[2], a[3]));
            return true;
        case 'Q':
        case 'q':
        case 'T':
        case 't':
            return Quadratic(at);
        default:
            ctx_.WarnOnce(Warning::Code::kUnsupported, std::string("svg-") + command_,
                          std::string("outline command '") + command_ +
                              "' is not read; the outline ends there");
            return false;
        }
    }

    // A quadratic curve, as the cubic one that draws it.
    template <class At> bool Quadratic(At at) {
        double a[4];
        Point q, to;
        if (command_ == 'Q' || command_ == 'q') {
            if (!Numbers(a, 4)) return false;
            q = at(a[0], a[1]);
            to = at(a[2], a[3]);
        } else {
            q = Reflected("QqTt");
            if (!Numbers(a, 2)) return false;
            to = at(a[0], a[1]);
        }
        Point c1{pos_.x + 2.0 / 3 * (q.x - pos_.x), pos_.y + 2.0 / 3 * (q.y - pos_.y)};
        Point c2{to.x + 2.0 / 3 * (q.x - to.x), to.y + 2.0 / 3 * (q.y - to.y)};
        CurveTo(c1, c2, to);
        lastControl_ = q;
        return true;
    }

    Context& ctx_;
    const char* p_;
    Outline& out_;
    std::vector<PathPoint>& points_; // the subpath being read
    Point pos_, start_, lastControl_;
    char command_ = 0, previous_ = 0;
    bool curved_ = false; // the subpath being read has a curve
};

} // namespace

void SvgToPath(Context& ctx, const char* text, Outline& out) {
    if (text) SvgPath(ctx, text, out).Run();
}

SvgEnding SvgToPathEnding(Context& ctx, const char* text, Outline& out) {
    return SvgPath(ctx, text, out).Run();
}

void SvgContourWarnings(Context& ctx, const char* contour, const char* path,
                        const SvgEnding& ending, Outline& scratch) {
    // The path read cleanly, with room for one command more, and the contour
    // adds a Z: read, it would go the same way, and the Z warns of nothing.
    const std::size_t length = ending.end ? static_cast<std::size_t>(ending.end - path) : 0;
    if (ending.end && ending.commands < ctx.options.maxPathPoints &&
        std::strncmp(contour, path, length) == 0) {
        const char* rest = SkipSeparators(contour + length);
        if ((*rest == 'Z' || *rest == 'z') && !*SkipSeparators(rest + 1)) return;
    }
    scratch.clear();
    SvgToPath(ctx, contour, scratch);
}

} // namespace detail
} // namespace scribus
