// The host's client dataset class. The host hands an instance of it to the
// package, which uses only the dataset operations of TClientDataSet.
#pragma once

#include "platform/ClientDataSet.h"

class TQuorlClientDataSet : public TClientDataSet {};
