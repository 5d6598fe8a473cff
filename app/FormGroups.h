#pragma once
// The dialogs and tool windows of the processing, analysis, photometry and
// 3-D commands come in groups. Each group creates its windows once at
// start-up (after the shell's own), connects the main window's actions for its
// commands to them, and frees them at the end. The main window knows only
// these entry points.
class TMainForm;

// Brightness and contrast, gamma, log, the filters with parameters, rotate,
// flip, resample, pixel math, DDP, linear scale (dialogs/ProcessingForms.cpp).
void CreateProcessingForms(TMainForm* Form);
void FreeProcessingForms();
// Custom filter, pseudo colour, histogram specification, crop, image math,
// RGB combine (dialogs/ProcessingForms2.cpp).
void CreateProcessingForms2(TMainForm* Form);
void FreeProcessingForms2();
// Marker registration, Fourier correlation, spectrum editor
// (dialogs/RegistrationForms.cpp).
void CreateRegistrationForms(TMainForm* Form);
void FreeRegistrationForms();
// Deconvolution, calibration, combining image series (dialogs/RestorationForms.cpp).
void CreateRestorationForms(TMainForm* Form);
void FreeRestorationForms();
// Statistics report, histogram, line, radial and contour plots
// (analysis/AnalysisForms.cpp).
void CreateAnalysisForms(TMainForm* Form);
void FreeAnalysisForms();
// Photometry grid, settings, apertures, comparison star, multiple images
// (analysis/PhotometryForms.cpp).
void CreatePhotometryForms(TMainForm* Form);
void FreePhotometryForms();
// The 3-D surface view and its properties (analysis/view3d/View3DForms.cpp).
void CreateView3DForms(TMainForm* Form);
void FreeView3DForms();
