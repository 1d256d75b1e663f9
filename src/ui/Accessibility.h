#pragma once
// What a screen reader sees of the controls the program draws itself: the
// playlist as a list of rows, the bars as a progress indicator, a slider or a
// decoration. Installed once, before the first window.
namespace mirvo {

void InstallAccessibility();

}  // namespace mirvo
