#pragma once

// The home and post screens that root navigation and the title bar show: the home screen of
// posts and the post's split view (the calls used: view(), viewWillAppear(),
// viewWillDisappear(), selectedPost(); postManager(), setPostManager(),
// presentInitialVisualState()), registered as the scenes "PLRHomeViewController" and
// "PLRPostViewController".
#include "shell/home/PLRHomeViewController.h"
#include "shell/post/PLRPostViewController.h"
