# The stroke: spline, stamp walk, stamps, composite, commit, and the tables they read.
marlo_library(marlo_brush
  SOURCES coverage_curves.cpp blend_table.cpp catmull.cpp aacpen.cpp aaline.cpp
          render_segment.cpp composite_walk.cpp composite_run.cpp draw_brush.cpp
          commit_stroke.cpp
  USES marlo_canvas)
