// Integrand of the surface-deflection integral of a layered elastic half-space: the Hankel
// transform of a uniform circular load times the surface response of the layer system, obtained by
// chaining one 4 x 4 transfer matrix per sublayer onto the matrix of the bottom half-space.
//
// Units: moduli in MPa, compliances in 1/MPa, pressure in MPa; lengths divided by the plate radius
// radius_m, so the wavenumber m is in units of 1 / radius_m.
//
// Scaled form. The transfer matrix of a sublayer of dimensionless thickness h holds the modes
// e^(+-u) and u e^(+-u), u = m h. Each matrix is stored divided by e^u, with e^(-2u) as its only
// exponential, as in the bounded-exponential (stiffness-matrix) formulations of layered media: its
// entries are polynomials in u, m, E and k times numbers in [0, 1], and none overflows for any
// thickness. The common factor e^(u_1 + ... + u_(N-1)) of the product cancels in R.
// Only columns 1 and 2 of the system matrix enter R, a ratio of two 2 x 2 minors of that 4 x 2
// block; right-multiplying the block by any invertible 2 x 2 matrix scales both minors by its
// determinant and leaves R alone. The block is therefore carried up from the half-space one
// sublayer at a time and its columns made orthogonal and of about unit length after each step (the
// orthonormalisation of Godunov and Conte for stiff boundary-value problems): without it both
// columns turn towards the fastest-growing mode u e^u, the minors cancel to rounding noise (growing
// like the product of the u^2 of all sublayers) and the entries reach 1e20 and more. With it the
// rounding of one evaluation grows about like (m h)^2 of the top sublayer alone.
//
// Batches. The model asks for the response at hundreds of abscissae per call with the same
// sublayers: layer_system_responses evaluates them several to a vector register (the values of
// each sublayer that do not depend on m taken once), lane by lane the operations of one abscissa.
#pragma once

#include <array>
#include <span>
#include <vector>

namespace orva {

// A 4 x 4 matrix stored by columns, addressed (row, column) from 1.
struct Mat4 {
  std::array<double, 16> v{};
  double& operator()(int row, int col) { return v[(col - 1) * 4 + (row - 1)]; }
  double operator()(int row, int col) const { return v[(col - 1) * 4 + (row - 1)]; }
  double* data() { return v.data(); }
};

// The model sublayers: entries 0 .. n_model_layers-1 stand for sublayers 1 .. n_model_layers, the
// last one being the half-space (its thickness and slip are not used).
struct ModelLayers {
  int n_model_layers = 0;                  // sublayers + 1 (the half-space)
  std::vector<double> sublayer_modulus;    // MPa
  std::vector<double> sublayer_poisson;    // -
  std::vector<double> sublayer_thickness;  // m
  std::vector<double> sublayer_slip;       // slip rate of the interface at the sublayer's bottom
  std::vector<double>
      sublayer_compliance;  // 1/MPa, interface at the sublayer's top; 0 at the surface
};

// Load and geometry values read by the integrand.
struct ModelValues {
  double contact_pressure = 0.0;  // MPa
  double radius_m = 0.0;          // plate radius, m
  double norm_radius = 0.0;       // loaded radius / plate radius (1.0)
  double norm_offset = 0.0;       // offset of the current sensor / plate radius
  double decay_point = 0.0;       // wavenumber past which the remainder integrand counts as 0
};

// The layer matrices act on the state vector of the Hankel-transformed solution at one depth, with
// z downward:
//   1 the radial displacement u     2 the vertical displacement w (positive downward)
//   3 the normal stress sigma_z      4 the shear stress tau_rz
// Stresses are positive in tension, so a pressure q on the surface enters as -q (integrand_load).
// H gives the state at the bottom of the sublayer above the half-space from the amplitudes of the
// half-space's two modes that decay with depth (columns 1 and 2; columns 3 and 4 take no part),
// the spring of their interface included; each L_i carries a state from the bottom of sublayer i
// to the bottom of the one above, across sublayer i and the interface at its top. So A = L_1 ...
// L_(N-1) H gives the surface state of the two half-space modes, and the surface conditions
// (sigma_z = the load, tau_rz = 0) fix their amplitudes and w. The entries are the closed-form
// transfer (propagator) matrices of Love's stress function in a homogeneous layer,
// f(z) = (A + B m z) e^(m z) + (C + D m z) e^(-m z), the classical layered-elastic solution; a
// slipping interface is a spring on which u jumps by K tau_rz (K enters as k = E K; k = 0 bonded).
// tests/model/layered_oracle.h solves the same system another way, from the same equations.

// Transfer matrix of a sublayer of dimensionless thickness h, Poisson's ratio nu, modulus E (MPa)
// and compliance K (1/MPa) of the interface at its top, at wavenumber m, divided by e^(m h).
// layer_transfer_matrix, halfspace_matrix and matrix_multiply are kept as library routines, the
// whole matrices with the entries that the kernel uses: the kernel forms its chain without them.
void layer_transfer_matrix(Mat4& out, double m, double h, double nu, double E, double K);

// Matrix of the bottom half-space; K is the compliance of the interface at its top.
void halfspace_matrix(Mat4& out, double m, double nu, double E, double K);

// T = A B, A of order n x n and B of order n x p, both with leading dimension n. The product
// replaces A when p == n, otherwise B. Each entry sums over k = 1..n in increasing k.
void matrix_multiply(double* a, int n, double* b, int p);

// The values of one sublayer that its matrix takes and that do not depend on the wavenumber, so
// that a call of the model computes them once rather than once per abscissa.
struct SublayerTerms {
  double h = 0.0;   // thickness / plate radius (not used for the half-space)
  double nu = 0.0;  // Poisson's ratio
  double e = 0.0;   // modulus E, MPa
  double k = 0.0;   // E K, K the compliance of the interface at the sublayer's top
  double d1 = 0.0;  // 1 / (2 (nu^2 - 1))
  double d2 = 0.0;  // 1 / (2 (nu - 1))
  double d4 = 0.0;  // 1 / (4 (nu - 1))
  double g = 0.0;   // 1 / (1 + nu)
};

// The terms of a sublayer of dimensionless thickness h, Poisson's ratio nu, modulus E (MPa) and
// compliance K (1/MPa) of the interface at its top.
SublayerTerms sublayer_terms(double h, double nu, double E, double K);

// The terms of every sublayer of layers, the half-space last (terms.size() == n_model_layers).
void sublayer_terms(const ModelLayers& layers,
                    const ModelValues& values,
                    std::vector<SublayerTerms>& terms);

// The sensor-independent part of the kernel: w = load x R(m), where R is the surface response of
// the layer system, R = (A21 A42 - A41 A22) / (A31 A42 - A32 A41) with A = L_1 ... L_(N-1) H,
// formed from columns 1 and 2 of A in the orthogonalised form above.
double layer_system_response(const ModelLayers& layers,
                             const ModelValues& values,
                             double m,
                             double load);
// The same from the terms of sublayer_terms.
double layer_system_response(std::span<const SublayerTerms> terms, double m, double load);

// The instruction sets that the batched kernel is built for. Each lane of a vector does the
// operations of layer_system_response in the same order (the model is built without contracting
// a x b + c into one rounding), so every set gives the same bits as the plain one.
enum class KernelIsa { kPlain, kAvx2, kAvx512 };

// Whether this processor (and its operating system) runs isa.
bool kernel_isa_available(KernelIsa isa);

// x = e^(-2 m h), the only exponential of the transfer matrix of a sublayer of dimensionless
// thickness h: it depends on the abscissa and the geometry alone, not on the moduli.
double decay_factor(double m, double h);

// response[i] = layer_system_response at m[i] with load[i], for many abscissae at once, several
// to a vector register: terms from sublayer_terms (n >= 1 of them), m, load and response of one
// length, decay[i (n - 1) + s] = decay_factor(m[i], terms[s].h) for the n - 1 sublayers above the
// half-space. Uses the widest instruction set the processor has, or isa (which must be
// available).
void layer_system_responses(std::span<const SublayerTerms> terms,
                            std::span<const double> m,
                            std::span<const double> load,
                            std::span<const double> decay,
                            std::span<double> response);
void layer_system_responses(std::span<const SublayerTerms> terms,
                            std::span<const double> m,
                            std::span<const double> load,
                            std::span<const double> decay,
                            std::span<double> response,
                            KernelIsa isa);

// result = J0(norm_offset m) x load x R(m) x m.
void layer_system_kernel(
    const ModelLayers& layers, const ModelValues& values, double m, double& result, double load);

// The load of the integrand at wavenumber m: -(q a) J1(a m) / m with a = norm_radius; j1_am is
// J1(a m).
inline double integrand_load(const ModelValues& values, double m, double j1_am) {
  return -(values.contact_pressure * values.norm_radius) * j1_am / m;
}

// The integrand of the deflection integral, -(q a) J1(a m) J0(rho m) R(m); a NaN value becomes 0.
// Kept as a library routine, the whole integrand at one wavenumber: the engine never calls it.
// compute_deflections integrates the remainder over the half-space term instead, from
// integrand_load and the kernel (forward_model.cpp), and sums a NaN rather than dropping it.
double deflection_integrand(const ModelLayers& layers, const ModelValues& values, double m);

}  // namespace orva
