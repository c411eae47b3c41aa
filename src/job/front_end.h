// The front end a job runs in: the progress list it reports into, and the two things the run
// sequence asks of the window at its end. The console front end does nothing for them.
#pragma once

#include "common/progress_list.h"

namespace cubemill::job {

// The method names are those of the window's design, which the window, its tests and the
// documentation share: keep them as they are.
class JobFrontEnd : public ProgressList {
 public:
  // Moves the cube picture down beside the lower part of the list.
  virtual void ImageCubeMoveDown() = 0;
  // Closes the front end at the end of a command-line job; the program then ends.
  virtual void Unload() = 0;
};

}  // namespace cubemill::job
