// The whole OLE Automation layer in one include.
#pragma once

#include "platform/ole/pl_bstr.hpp"
#include "platform/ole/pl_oletp.hpp"
#include "platform/ole/pl_safar.hpp"
#include "platform/ole/pl_unkn.hpp"
#include "platform/ole/pl_varcv.hpp"
#include "platform/ole/pl_varnt.hpp"
#include "platform/ole/pl_vdate.hpp"
