// The recurring motifs: the bird with its letter, the stamp, the postmark, the envelope, the
// paper clip, the air-mail border and the paper itself. Each draws in its own coordinates;
// the caller places it with the painter's transform.
#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>

#include <cstdint>

namespace art {

// Letter paper: warm cream with a faint mottle and grain. (ox, oy) is where the image's
// top-left pixel lies on the sheet, so two cut-outs of one sheet match where they meet.
QImage PaperTexture(int w, int h, int ox = 0, int oy = 0, std::uint32_t seed = 7);

// The bird (a small corvid) flying to the right with a letter in its beak. Drawn around
// the origin, about 100 units from tail to beak; scale it with the painter.
// wingLift turns the near wing about its root (degrees, positive = higher).
void DrawBird(QPainter& p, const QColor& body, const QColor& farWing, bool withLetter,
              qreal wingLift = 0, bool withEye = true);

// The stamp's picture: sky, sun, hills and the bird, filling r.
void DrawVignette(QPainter& p, const QRectF& r);

// A postage stamp with perforated edge in (0, 0, w, h). k scales the details (1 for the
// 107 x 63 stamp); a portrait stamp sets its value on a tab in the picture's corner.
void DrawStamp(QPainter& p, qreal w, qreal h, qreal k, bool portrait);
// A w x h sheet with half-round bites of the given radius every pitch along its edges.
QPainterPath PerforatedOutline(qreal w, qreal h, qreal pitch, qreal radius);

// The postmark in its 173 x 73 picture: date circle at the left, wavy lines to the right,
// in solid ink; PostmarkImage adds the uneven inking on a transparent ground.
void DrawPostmark(QPainter& p, const QColor& ink);
QImage PostmarkImage(int w, int h);

// An envelope seen from the back (flap closed) in r.
void DrawEnvelope(QPainter& p, const QRectF& r, const QColor& face, const QColor& line, qreal lineWidth,
                  const QColor& flapShade);

// A gem paper clip lying along x in a 40 x 14 box.
QPainterPath PaperClipPath();

// The red and blue slanted stripes of an air-mail border, a band of the given width just
// inside outer.
void DrawAirmailBand(QPainter& p, const QRectF& outer, qreal width, qreal period);

}  // namespace art
