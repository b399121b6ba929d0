// The filter's face read from annotations: version, title and information
// from "FilterVersion", the track bars and the check boxes. Each returns
// false only without an annotation source or when an allocation fails; the
// results stay in the face until CommitFilterFace.
#pragma once

#include "discovery/filter_face.h"

bool ReadVersionTitleInformation(FilterFace& face, ID3DXBaseEffect* source);
bool ReadTrackControls(FilterFace& face, ID3DXBaseEffect* source);
bool ReadCheckControls(FilterFace& face, ID3DXBaseEffect* source);
