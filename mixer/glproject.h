// Object-to-window projection for the drawing widgets that need to know
// where a point of their fixed-function scene lands on screen, computed the
// way the fixed-function pipeline computes it. Matrices are column-major, as
// glGetDoublev returns them.
#pragma once

// out = m · in for a 4-vector.
void glProject_transformPoint(double out[4], const double m[16], const double in[4]);

// Maps an object point through the model-view and projection matrices and
// the viewport (x, y, width, height) to window coordinates, depth in 0..1.
// False, with the outputs untouched, when the homogeneous w is 0.
bool glProject_project(double objX, double objY, double objZ, const double model[16], const double projection[16],
                       const int viewport[4], double *winX, double *winY, double *winZ);
