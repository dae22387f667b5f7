# The host program loads the package, looks the service addresses up and lists the type tables,
# against a seeded host database and an INI file in a temporary application folder.
set -euo pipefail
app=$(mktemp -d)
trap 'rm -rf "$app"' EXIT
build/bin/membersys --app-dir "$app" init-db --seed
printf '[WSDLCONFIGURE]\nADDRESSTYPE=G\n' > "$app/QUORLZELCLIENT.LIC"
echo "-- addresses of node N001, group G01, address type G"
build/bin/membersys --app-dir "$app" addresses
echo "-- addresses of node N002, group G02, address type H"
printf '[WSDLCONFIGURE]\nADDRESSTYPE=H\n' > "$app/QUORLZELCLIENT.LIC"
build/bin/membersys --app-dir "$app" --node N002 --group G02 addresses
echo "-- type tables of node N001"
build/bin/membersys --app-dir "$app" types
