# End of the shift: the member payments operator 1001 took in on 2024-05-01,
# from the web service.
set -euo pipefail
echo "-- member payments of operator 1001 on 2024-05-01"
ms report G01 1001 2024-05-01 2024-05-01
echo "-- the same as JSON"
ms report G01 1001 2024-05-01 2024-05-01 --json
