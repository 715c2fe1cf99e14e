// A .NET host of KorvanelleClient (bindings/dotnet): connects, opens a patient, prints the
// tree, fetches the first image field's thumbnail and image and saves the image.
//
//   mono korvanelle-dotnet-host.exe [HOST [PORT [PATIENT_ID [IMAGE_FILE]]]]
//       (defaults 127.0.0.1 7770 P10001 image.png)
//
// The image is saved under the name given here, never under the server's name for it.
// Exit status: 0 success, 1 cannot connect, 2 patient not found, 3 thumbnail or image not
// available, 4 the native library cannot be loaded.
using System;
using System.IO;
using System.Linq;
using System.Text;
using Korvanelle;

internal static class Program
{
    private static int Main(string[] args)
    {
        string host = args.Length > 0 ? args[0] : "127.0.0.1";
        int port = args.Length > 1 ? int.Parse(args[1]) : 7770;
        string patientId = args.Length > 2 ? args[2] : "P10001";
        string imageFile = args.Length > 3 ? args[3] : "image.png";
        Console.OutputEncoding = new UTF8Encoding(false);

        try
        {
            using (KorvanelleClient client = KorvanelleClient.Connect(host, port))
            {
                Patient patient = client.OpenPatient(patientId);
                Console.WriteLine("patient {0}: {1}", patient.Id, patient.Name);
                foreach (Modality modality in patient.Modalities)
                {
                    Console.WriteLine("  modality {0}", modality.Name);
                    PrintFields(modality.Fields, "    ");
                    foreach (Study study in modality.Studies)
                    {
                        Console.WriteLine("    study {0}", study.Name);
                        PrintFields(study.Fields, "      ");
                    }
                }

                Field first = patient.ImageFields().FirstOrDefault();
                if (first == null)
                {
                    Console.WriteLine("no image fields");
                    return 0;
                }
                Describe("thumbnail", first.Value, client.GetThumbnail(first));
                byte[] image = client.GetImage(first);
                Describe("image", first.Value, image);
                File.WriteAllBytes(imageFile, image);
                Console.WriteLine("saved {0}", imageFile);
                return 0;
            }
        }
        catch (KorvanelleConnectException error)
        {
            Console.Error.WriteLine(error.Message);
            return 1;
        }
        catch (PatientNotFoundException error)
        {
            Console.Error.WriteLine(error.Message);
            return 2;
        }
        catch (KorvanelleTimeoutException error)
        {
            Console.Error.WriteLine(error.Message);
            return 2;
        }
        catch (ImageNotAvailableException error)
        {
            Console.Error.WriteLine(error.Message);
            return 3;
        }
        catch (KorvanelleLibraryException error)
        {
            Console.Error.WriteLine(error.Message);
            return 4;
        }
    }

    private static void PrintFields(System.Collections.Generic.IEnumerable<Field> fields, string indent)
    {
        foreach (Field field in fields)
        {
            Console.WriteLine("{0}{1} = {2}{3}", indent, field.Name, field.Value, field.IsImage ? "  [image]" : "");
        }
    }

    private static void Describe(string what, string name, byte[] bytes)
    {
        byte[] png = { 0x89, (byte)'P', (byte)'N', (byte)'G', (byte)'\r', (byte)'\n', 0x1A, (byte)'\n' };
        bool isPng = bytes.Length >= 8 && bytes.Take(8).SequenceEqual(png);
        Console.WriteLine("{0} {1}: {2} bytes{3}", what, name, bytes.Length, isPng ? ", PNG" : "");
    }
}
